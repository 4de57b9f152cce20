// The page of velpo view: the frames of a sequence in a 3D view, with a
// timeline, colours by any record, picked particles and each frame's
// records. Everything it loads comes from the server that served it.

import { getInfo, getParticle, getPoints, getSequence } from "./api.js";
import { Camera } from "./camera.js";
import { drawChart, drawGizmo, showInfo, showInfoProblem, showLegend, showPicked, showPickProblem } from "./panel.js";
import { Renderer } from "./renderer.js";
import { Timeline } from "./timeline.js";

const CachedFrames = 8;
const LoadedAhead = 3;
const PollMilliseconds = 2000;

const state = {
  title: "",
  fps: 24,
  frames: [],
  generation: 0,
  colourMap: null,
  index: 0,
  colourKey: "",
  colourName: "",
  mode: "map",
  pointSize: 2,
  playing: false,
  shown: null, // the points drawn: {frameIndex, header, indices}
  picked: null, // the particle index picked
  fitted: false,
  request: 0,
};

// What tests and measurements read: the state of the page and where the
// drawn points are.
const hook = {
  state: "loading",
  frame: null,
  framesDrawn: 0,
  firstPictureMs: null,
  shownCount: 0,
  pickedIndex: null,
  error: "",
  loadMs: [], // per frame loaded: from its request to its colours made
  drawMs: [], // per frame drawn: handed to WebGL and drawn
  point(i) {
    const at = renderer.project(i);
    if (!at) {
      return null;
    }
    const box = document.getElementById("view").getBoundingClientRect();
    return { x: at.x, y: at.y, clientX: box.left + at.x, clientY: box.top + at.y };
  },
};
window.velpoView = hook;

let renderer = null;
const camera = new Camera();
const cache = new Map();
const status = document.getElementById("status");

function setStatus(text, problem) {
  status.textContent = text;
  status.className = problem ? "problem" : "";
}

function setPageState(value) {
  hook.state = value;
  document.body.dataset.state = value;
}

// The colours the renderer takes: a map position per point, or clamped RGB,
// with -1 for NaN and infinite values.
function rendererColours(points) {
  const colour = points.header.colour;
  if (!colour) {
    return null;
  }
  const values = points.colour;
  const out = new Float32Array(values.length);
  if (colour.mode === "rgb") {
    for (let i = 0; i < values.length; i += 3) {
      const finite = Number.isFinite(values[i]) && Number.isFinite(values[i + 1]) && Number.isFinite(values[i + 2]);
      for (let c = 0; c < 3; c++) {
        out[i + c] = finite ? Math.min(Math.max(values[i + c], 0), 1) : -1;
      }
    }
    return out;
  }
  const low = colour.low, high = colour.high, span = high - low;
  for (let i = 0; i < values.length; i++) {
    const v = values[i];
    let t;
    if (!Number.isFinite(v)) {
      t = -1;
    } else if (!(span > 0)) {
      t = 0.5;
    } else if (!Number.isFinite(span)) {
      t = (v / 2 - low / 2) / (high / 2 - low / 2);
    } else {
      t = (v - low) / span;
    }
    out[i] = t < 0 && t !== -1 ? 0 : Math.min(t, 1);
  }
  return out;
}

function pointsFor(index) {
  const frame = state.frames[index];
  const key = `${frame.frame}|${frame.version}|${state.colourKey}|${state.mode}`;
  let entry = cache.get(key);
  if (entry) {
    cache.delete(key);
  } else {
    const asked = performance.now();
    entry = getPoints(frame.frame, state.colourKey, state.mode).then((points) => {
      points.colours = rendererColours(points);
      hook.loadMs.push(performance.now() - asked);
      return points;
    });
    entry.catch(() => cache.delete(key));
  }
  cache.set(key, entry);
  while (cache.size > CachedFrames) {
    cache.delete(cache.keys().next().value);
  }
  return entry;
}

// A ring around the picked particle where it is drawn.
function placeMarker() {
  const marker = document.getElementById("pick-marker");
  let at = null;
  if (state.shown && state.picked !== null) {
    const indices = state.shown.indices;
    const i = indices ? indices.indexOf(state.picked) : state.picked < hook.shownCount ? state.picked : -1;
    at = i >= 0 ? renderer.project(i) : null;
  }
  marker.hidden = !at;
  if (at) {
    marker.style.left = `${at.x}px`;
    marker.style.top = `${at.y}px`;
  }
}

function drawNow() {
  if (renderer) {
    renderer.draw(camera, state.pointSize);
    drawGizmo(camera);
    placeMarker();
  }
}

function drawPoints(index, points) {
  const started = performance.now();
  renderer.setPoints(points.positions, points.colours, points.header.colour && points.header.colour.mode === "rgb" ? 2 : 1);
  state.shown = { frameIndex: index, header: points.header, indices: points.indices };
  if (!state.fitted && points.header.bounds) {
    camera.fit(points.header.bounds, renderer.aspect());
    state.fitted = true;
  }
  drawNow();
  const frame = state.frames[index];
  showLegend(`frame ${frame.frame}: ${frame.file}`, points.header, state.colourMap);
  hook.shownCount = points.header.shown;
  hook.framesDrawn += 1;
  hook.drawMs.push(performance.now() - started);
  if (hook.firstPictureMs === null) {
    renderer.gl.finish();
    hook.firstPictureMs = performance.now();
  }
}

function showFrameProblem(index, text) {
  renderer.setPoints(new Float32Array(0), null, 0);
  state.shown = null;
  hook.shownCount = 0;
  drawNow();
  setStatus(`frame ${state.frames[index].frame}: ${text}`, true);
  hook.error = text;
  setPageState("problem");
}

async function showFrame(index) {
  const request = ++state.request;
  state.index = index;
  const frame = state.frames[index];
  hook.frame = frame.frame;
  timeline.show(index);
  drawChart(state.frames, index);
  if (frame.state === "missing" || frame.state === "unreadable") {
    showFrameProblem(index, frame.reason);
    return;
  }
  setPageState("loading");
  try {
    const points = await pointsFor(index);
    if (request !== state.request) {
      return;
    }
    setStatus("", false);
    drawPoints(index, points);
    setPageState("drawn");
  } catch (error) {
    if (request === state.request) {
      showFrameProblem(index, error.message);
    }
    return;
  }
  if (!state.playing) {
    loadInfo(index, request);
    refreshPick(request);
  }
}

async function loadInfo(index, request) {
  try {
    const info = await getInfo(state.frames[index].frame);
    if (request === state.request) {
      showInfo(info);
      offerColours(info.records);
    }
  } catch (error) {
    showInfoProblem(error.message);
  }
}

// The colour choices: every record of the frame, once per name.
function offerColours(records) {
  const select = document.getElementById("colour");
  const seen = new Set();
  const options = [new Option("none", "")];
  for (const record of records) {
    if (!seen.has(record.key)) {
      seen.add(record.key);
      const option = new Option(`${record.name}${record.code >= 4 ? " (vector)" : ""}`, record.key);
      option.dataset.vector = record.code >= 4 ? "1" : "";
      option.dataset.name = record.name;
      options.push(option);
    }
  }
  if (state.colourKey && !seen.has(state.colourKey)) {
    options.push(new Option(`${state.colourName} (not in this frame)`, state.colourKey));
  }
  select.replaceChildren(...options);
  select.value = state.colourKey;
  updateModeChoice();
}

function updateModeChoice() {
  const select = document.getElementById("colour");
  const option = select.selectedOptions[0];
  const vector = option && option.dataset.vector === "1";
  const mode = document.getElementById("colour-mode");
  mode.querySelector("option[value=rgb]").disabled = !vector;
  mode.querySelector("option[value=map]").textContent = vector ? "length" : "value";
  if (!vector && state.mode === "rgb") {
    state.mode = "map";
    mode.value = "map";
  }
}

async function pick(x, y) {
  if (!state.shown) {
    return;
  }
  const shownIndex = renderer.pick(x, y, state.pointSize);
  if (shownIndex < 0) {
    return;
  }
  state.picked = state.shown.indices ? state.shown.indices[shownIndex] : shownIndex;
  placeMarker();
  await refreshPick(state.request);
}

async function refreshPick(request) {
  if (state.picked === null) {
    return;
  }
  const frame = state.frames[state.index];
  try {
    const picked = await getParticle(frame.frame, state.picked);
    if (request === state.request) {
      showPicked(picked);
      hook.pickedIndex = picked.index;
    }
  } catch (error) {
    showPickProblem(`particle ${state.picked}: ${error.message}`);
  }
}

// Playing: the next frame is shown once it has arrived, a frame period
// after the one before at the earliest, with the frames after it loading.
function playOn() {
  if (!state.playing) {
    return;
  }
  const started = performance.now();
  const next = (state.index + 1) % state.frames.length;
  for (let k = 1; k <= LoadedAhead; k++) {
    const ahead = (next + k) % state.frames.length;
    if (state.frames[ahead].state === "readable" || state.frames[ahead].state === "unknown") {
      pointsFor(ahead).catch(() => {});
    }
  }
  showFrame(next).finally(() => {
    const wait = Math.max(0, 1000 / state.fps - (performance.now() - started));
    setTimeout(playOn, wait);
  });
}

function setPlaying(playing) {
  state.playing = playing && state.frames.length > 1;
  timeline.setPlaying(state.playing);
  if (state.playing) {
    playOn();
  } else {
    showFrame(state.index);
  }
}

const timeline = new Timeline(
  (index) => {
    if (state.playing) {
      setPlaying(false);
    }
    showFrame(index);
  },
  () => setPlaying(!state.playing),
);

function mergeFrames(changes) {
  for (const frame of changes.frames) {
    state.frames[frame.index] = frame;
  }
  state.generation = changes.generation;
}

// Frames whose files change on disk are shown again.
async function poll() {
  try {
    const changes = await getSequence(state.generation);
    const current = state.frames[state.index];
    mergeFrames(changes);
    if (changes.frames.length > 0) {
      timeline.setFrames(state.frames);
      drawChart(state.frames, state.index);
      const now = state.frames[state.index];
      if (!state.playing && current && (now.version !== current.version || now.state !== current.state)) {
        showFrame(state.index);
      }
    }
  } catch (error) {
    setStatus(error.message, true);
  }
  setTimeout(poll, PollMilliseconds);
}

function listen(canvas) {
  let drag = null;
  canvas.addEventListener("contextmenu", (event) => event.preventDefault());
  canvas.addEventListener("pointerdown", (event) => {
    drag = { x: event.clientX, y: event.clientY, moved: 0, pan: event.button === 2 || event.shiftKey };
    canvas.setPointerCapture(event.pointerId);
  });
  canvas.addEventListener("pointermove", (event) => {
    if (!drag) {
      return;
    }
    const dx = event.clientX - drag.x, dy = event.clientY - drag.y;
    drag.moved += Math.abs(dx) + Math.abs(dy);
    drag.x = event.clientX;
    drag.y = event.clientY;
    drag.pan ? camera.pan(dx, dy, canvas.clientHeight) : camera.orbit(dx, dy);
    drawNow();
  });
  canvas.addEventListener("pointerup", (event) => {
    if (drag && drag.moved < 4 && event.button === 0) {
      const box = canvas.getBoundingClientRect();
      pick(event.clientX - box.left, event.clientY - box.top);
    }
    drag = null;
  });
  canvas.addEventListener("wheel", (event) => {
    event.preventDefault();
    camera.zoom(Math.exp(event.deltaY * 0.001));
    drawNow();
  }, { passive: false });
}

function fit() {
  if (state.shown && state.shown.header.bounds) {
    camera.fit(state.shown.header.bounds, renderer.aspect());
    drawNow();
  }
}

function listenToControls() {
  document.getElementById("fit").addEventListener("click", fit);
  document.getElementById("projection").addEventListener("change", (event) => {
    camera.setAxis(event.target.value);
    fit();
  });
  document.getElementById("point-size").addEventListener("input", (event) => {
    state.pointSize = Number(event.target.value);
    drawNow();
  });
  document.getElementById("colour").addEventListener("change", (event) => {
    state.colourKey = event.target.value;
    const option = event.target.selectedOptions[0];
    state.colourName = option && option.dataset.name ? option.dataset.name : "";
    updateModeChoice();
    showFrame(state.index);
  });
  document.getElementById("colour-mode").addEventListener("change", (event) => {
    state.mode = event.target.value;
    showFrame(state.index);
  });
  window.addEventListener("keydown", (event) => {
    if (event.target.tagName === "SELECT" || event.target.tagName === "INPUT") {
      return;
    }
    const moves = { ArrowLeft: -1, ArrowRight: 1 };
    if (event.key in moves) {
      setPlaying(false);
      showFrame(timeline.clamp(state.index + moves[event.key]));
    } else if (event.key === " ") {
      event.preventDefault();
      setPlaying(!state.playing);
    } else if (event.key === "f" || event.key === "F") {
      fit();
    } else if (event.key === "Home" || event.key === "End") {
      setPlaying(false);
      showFrame(event.key === "Home" ? 0 : state.frames.length - 1);
    }
  });
  window.addEventListener("resize", () => {
    drawNow();
    timeline.drawMarks();
    drawChart(state.frames, state.index);
  });
}

async function start() {
  let sequence;
  try {
    sequence = await getSequence(0);
    renderer = new Renderer(document.getElementById("view"), sequence.colourMap);
  } catch (error) {
    setStatus(error.message, true);
    setPageState("problem");
    return;
  }
  state.title = sequence.title;
  state.fps = sequence.fps;
  state.colourMap = sequence.colourMap;
  document.title = `${sequence.title} - velpo view`;
  mergeFrames(sequence);
  timeline.setFrames(state.frames);
  listen(document.getElementById("view"));
  listenToControls();
  if (state.frames.length === 0) {
    setStatus("the sequence holds no frames", true);
    return;
  }
  await showFrame(0);
  setTimeout(poll, PollMilliseconds);
}

start();
