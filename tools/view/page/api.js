// Requests to the server that serves this page. With a token in the page's
// address (a server opened to a network), every request carries it.

const token = new URLSearchParams(window.location.search).get("token");

export class RequestError extends Error {
  constructor(message, status) {
    super(message);
    this.status = status;
  }
}

async function request(path) {
  const headers = token ? { "X-Velpo-Token": token } : {};
  let response;
  try {
    response = await fetch(path, { headers, cache: "no-store" });
  } catch (error) {
    throw new RequestError("the server cannot be reached (stopped?)", 0);
  }
  if (!response.ok) {
    let text = `${response.status} ${response.statusText}`;
    try {
      text = (await response.json()).error || text;
    } catch (ignored) {
      // Not JSON: the status says enough.
    }
    throw new RequestError(text, response.status);
  }
  return response;
}

export async function getJson(path) {
  return (await request(path)).json();
}

// The points of a frame: {header, positions, colour, indices}. The layout
// is documented in tools/view/FramePoints.h.
export function parsePoints(buffer) {
  const bytes = new Uint8Array(buffer);
  const magic = String.fromCharCode(...bytes.subarray(0, 4));
  if (magic !== "VPTS" || buffer.byteLength < 8) {
    throw new RequestError("the server sent points in a form this page does not know", 0);
  }
  const view = new DataView(buffer);
  const headerLength = view.getUint32(4, true);
  const header = JSON.parse(new TextDecoder().decode(bytes.subarray(8, 8 + headerLength)));
  let at = 8 + headerLength;
  const take = (Type, count) => {
    const array = new Type(buffer, at, count);
    at += 4 * count;
    return array;
  };
  const shown = header.shown;
  const positions = take(Float32Array, 3 * shown);
  const components = header.colour ? header.colour.components : 0;
  const colour = take(Float32Array, components * shown);
  const indices = header.subset ? take(Int32Array, shown) : null;
  return { header, positions, colour, indices };
}

export async function getPoints(frame, colourKey, mode) {
  let path = `/api/frames/${frame}/points`;
  if (colourKey) {
    path += `?colour=${colourKey}&mode=${mode}`;
  }
  return parsePoints(await (await request(path)).arrayBuffer());
}

export function getInfo(frame) {
  return getJson(`/api/frames/${frame}/info`);
}

export function getParticle(frame, index) {
  return getJson(`/api/frames/${frame}/particles/${index}`);
}

export function getSequence(since) {
  return getJson(`/api/sequence?since=${since}`);
}
