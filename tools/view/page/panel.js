// The side panel and the legend: the picked particle's values, the
// particle count of every frame as a chart, the frame's records as
// velpo info gives them, and what the colours mean.

function element(tag, text, className) {
  const node = document.createElement(tag);
  if (text !== undefined) {
    node.textContent = text;
  }
  if (className) {
    node.className = className;
  }
  return node;
}

function row(cells, header) {
  const tr = element("tr");
  for (const cell of cells) {
    const td = element(header ? "th" : "td", cell);
    if (!header && typeof cell === "string" && /^[-0-9.,eE+ NaInfity–]+$/.test(cell)) {
      td.className = "numbers";
    }
    tr.append(td);
  }
  return tr;
}

export function shortNumber(value) {
  if (value === null || value === undefined) {
    return "–";
  }
  return Number.isInteger(value) ? String(value) : String(Number(value.toPrecision(6)));
}

const codeNames = ["int", "int[]", "double", "double[]", "vector", "vector[]"];

export function showInfo(info) {
  const box = document.getElementById("info");
  box.replaceChildren();
  document.getElementById("info-frame").textContent = `${info.frame}`;
  box.append(element("div", `${info.file}: ${info.size} bytes`));
  if (info.header) {
    box.append(element("div", `${info.header.particleCount} particles, ${info.header.attributeCount} records`));
  }
  const table = element("table");
  table.id = "info-records";
  table.append(row(["record", "code", "count"], true));
  const numbers = (list) => (list || []).map(shortNumber).join(", ");
  for (const record of info.records) {
    const code = `${record.code} ${codeNames[record.code] || ""}`;
    const head = row([record.name, code, String(record.count)]);
    head.className = "record";
    const stats = element("tr");
    const cell = element("td", `min ${numbers(record.min)}   max ${numbers(record.max)}   mean ${numbers(record.mean)}`, "numbers stats");
    cell.colSpan = 3;
    stats.append(cell);
    table.append(head, stats);
  }
  box.append(table);
  for (const problem of info.problems) {
    box.append(element("div", problem, "problem"));
  }
}

export function showInfoProblem(text) {
  const box = document.getElementById("info");
  box.replaceChildren(element("div", text, "problem"));
}

// The values of a picked particle, as velpo dump writes them.
export function showPicked(picked) {
  const box = document.getElementById("pick");
  box.replaceChildren();
  const title = element("div");
  title.id = "pick-title";
  title.textContent = `particle ${picked.index} of frame ${picked.frame}`;
  const id = element("div", picked.id === null ? "no id record" : `id ${picked.id}`);
  id.id = "pick-id";
  box.append(title, id);
  const table = element("table");
  table.id = "pick-values";
  for (const record of picked.records) {
    const tr = row([record.name, record.values.join(", ")]);
    tr.dataset.record = record.name;
    tr.lastChild.className = "numbers";
    table.append(tr);
  }
  box.append(table);
}

export function showPickProblem(text) {
  document.getElementById("pick").replaceChildren(element("div", text, "problem"));
}

// The chart of particle counts; missing and unreadable frames as marks
// under it, the frame shown as a line.
export function drawChart(frames, current) {
  const canvas = document.getElementById("chart");
  const ratio = window.devicePixelRatio || 1;
  canvas.width = Math.round(canvas.clientWidth * ratio);
  canvas.height = Math.round(canvas.clientHeight * ratio);
  const g = canvas.getContext("2d");
  const w = canvas.width, h = canvas.height, pad = 14 * ratio;
  g.clearRect(0, 0, w, h);
  const most = frames.reduce((m, f) => Math.max(m, f.particles || 0), 1);
  const x = (i) => (frames.length > 1 ? (i / (frames.length - 1)) * (w - 2) + 1 : w / 2);
  const y = (n) => h - pad - (n / most) * (h - 2 * pad);
  g.strokeStyle = "rgb(92, 200, 99)";
  g.lineWidth = ratio;
  g.beginPath();
  let drawing = false;
  frames.forEach((f, i) => {
    if (f.state !== "readable") {
      drawing = false;
      return;
    }
    drawing ? g.lineTo(x(i), y(f.particles)) : g.moveTo(x(i), y(f.particles));
    drawing = true;
  });
  g.stroke();
  frames.forEach((f, i) => {
    if (f.state === "missing" || f.state === "unreadable") {
      g.fillStyle = f.state === "missing" ? "rgb(235, 90, 80)" : "rgb(240, 160, 60)";
      g.fillRect(x(i) - ratio, h - pad + 3 * ratio, 2 * ratio, 6 * ratio);
    }
  });
  g.fillStyle = "rgb(230, 230, 230)";
  g.fillRect(x(current), pad / 2, ratio, h - pad);
  g.font = `${10 * ratio}px system-ui, sans-serif`;
  g.fillText(`${most}`, 2, 10 * ratio);
}

// The legend under the view, as velpo preview draws it under a picture.
export function showLegend(title, header, colourMap) {
  document.getElementById("legend-title").textContent = title;
  let detail = `${header.particles} ${header.particles === 1 ? "particle" : "particles"}`;
  if (header.subset) {
    detail = `${header.shown} shown of ${header.particles} particles (the same ones every frame, chosen by ${header.byId ? "id" : "index"})`;
  } else if (header.positionsSingle && header.particles > 1) {
    detail += ", all at one position";
  }
  document.getElementById("legend-detail").textContent = detail;
  const colour = header.colour;
  document.getElementById("legend-colour").hidden = !colour;
  if (!colour) {
    return;
  }
  document.getElementById("legend-label").textContent = colour.label;
  document.getElementById("legend-nonfinite").hidden = colour.nonFinite === 0;
  document.getElementById("legend-nonfinite-count").textContent = `  ${colour.nonFinite}`;
  document.getElementById("legend-swatch").style.background = `rgb(${colourMap.nonFinite.join(",")})`;
  const map = colour.mode === "map";
  document.getElementById("legend-bar").hidden = !map;
  document.getElementById("legend-numbers").hidden = !map;
  if (map) {
    drawBar(colourMap.samples);
    document.getElementById("legend-low").textContent = colour.rangeKnown ? colour.lowText : "";
    document.getElementById("legend-middle").textContent = colour.rangeKnown && colour.high > colour.low ? colour.middleText : "";
    document.getElementById("legend-high").textContent = colour.rangeKnown ? colour.highText : "no finite value";
  }
}

function drawBar(samples) {
  const canvas = document.getElementById("legend-bar");
  const g = canvas.getContext("2d");
  const image = g.createImageData(canvas.width, canvas.height);
  for (let x = 0; x < canvas.width; x++) {
    const at = (x / (canvas.width - 1)) * (samples.length - 1);
    const i = Math.min(Math.floor(at), samples.length - 2);
    const f = at - i;
    for (let y = 0; y < canvas.height; y++) {
      const o = 4 * (y * canvas.width + x);
      for (let c = 0; c < 3; c++) {
        image.data[o + c] = Math.round(samples[i][c] + (samples[i + 1][c] - samples[i][c]) * f);
      }
      image.data[o + 3] = 255;
    }
  }
  g.putImageData(image, 0, 0);
}

export function drawGizmo(camera) {
  const canvas = document.getElementById("gizmo");
  const g = canvas.getContext("2d");
  const { right, up } = camera.basis();
  const c = canvas.width / 2, length = canvas.width * 0.36;
  g.clearRect(0, 0, canvas.width, canvas.height);
  g.lineWidth = 2;
  g.font = "bold 12px system-ui, sans-serif";
  const axes = [["x", [1, 0, 0], "rgb(235, 90, 80)"], ["y", [0, 1, 0], "rgb(92, 200, 99)"], ["z", [0, 0, 1], "rgb(90, 150, 240)"]];
  for (const [name, axis, style] of axes) {
    const sx = axis[0] * right[0] + axis[1] * right[1] + axis[2] * right[2];
    const sy = axis[0] * up[0] + axis[1] * up[1] + axis[2] * up[2];
    g.strokeStyle = g.fillStyle = style;
    g.beginPath();
    g.moveTo(c, c);
    g.lineTo(c + sx * length, c - sy * length);
    g.stroke();
    g.fillText(name, c + sx * (length + 8) - 4, c - sy * (length + 8) + 4);
  }
}
