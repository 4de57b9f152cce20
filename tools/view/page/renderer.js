// The particles drawn with WebGL 2 as square points, nearer over farther,
// coloured plainly, on the colour map, or by RGB. Colours arrive ready:
// a map position in [0, 1] or a clamped RGB triple, and -1 for a value
// that is NaN or infinite, which is drawn in the grey velpo preview uses.

const VertexShader = `#version 300 es
in vec3 position;
in vec3 colour;
uniform mat4 viewProjection;
uniform float pointSize;
uniform int mode;
uniform sampler2D colourMap;
uniform vec3 plainColour;
uniform vec3 nonFiniteColour;
out vec3 shade;
void main() {
  gl_Position = viewProjection * vec4(position, 1.0);
  gl_PointSize = pointSize;
  if (mode == 0) {
    shade = plainColour;
  } else if (colour.x < -0.5) {
    shade = nonFiniteColour;
  } else if (mode == 1) {
    shade = texture(colourMap, vec2((colour.x * 256.0 + 0.5) / 257.0, 0.5)).rgb;
  } else {
    shade = colour;
  }
}`;

const FragmentShader = `#version 300 es
precision mediump float;
in vec3 shade;
out vec4 pixel;
void main() {
  pixel = vec4(shade, 1.0);
}`;

function compile(gl, type, source) {
  const shader = gl.createShader(type);
  gl.shaderSource(shader, source);
  gl.compileShader(shader);
  if (!gl.getShaderParameter(shader, gl.COMPILE_STATUS)) {
    throw new Error(`the page's shader does not compile: ${gl.getShaderInfoLog(shader)}`);
  }
  return shader;
}

function link(gl) {
  const program = gl.createProgram();
  gl.attachShader(program, compile(gl, gl.VERTEX_SHADER, VertexShader));
  gl.attachShader(program, compile(gl, gl.FRAGMENT_SHADER, FragmentShader));
  gl.bindAttribLocation(program, 0, "position");
  gl.bindAttribLocation(program, 1, "colour");
  gl.linkProgram(program);
  if (!gl.getProgramParameter(program, gl.LINK_STATUS)) {
    throw new Error(`the page's shaders do not link: ${gl.getProgramInfoLog(program)}`);
  }
  return program;
}

const unit = (rgb) => rgb.map((c) => c / 255);

export class Renderer {
  // colourMap: the server's {samples, nonFinite, plain, background}.
  constructor(canvas, colourMap) {
    this.canvas = canvas;
    const gl = canvas.getContext("webgl2", { antialias: false, preserveDrawingBuffer: true });
    if (!gl) {
      throw new Error("this browser has no WebGL 2, which the view needs");
    }
    this.gl = gl;
    this.program = link(gl);
    this.uniforms = {};
    for (const name of ["viewProjection", "pointSize", "mode", "colourMap", "plainColour", "nonFiniteColour"]) {
      this.uniforms[name] = gl.getUniformLocation(this.program, name);
    }
    this.background = unit(colourMap.background);
    this.plain = unit(colourMap.plain);
    this.nonFinite = unit(colourMap.nonFinite);
    this.mapTexture = this.makeMapTexture(colourMap.samples);
    this.positionBuffer = gl.createBuffer();
    this.colourBuffer = gl.createBuffer();
    this.count = 0;
    this.mode = 0;
    this.positions = new Float32Array(0);
    this.matrix = new Float32Array(16);
  }

  makeMapTexture(samples) {
    const gl = this.gl;
    const texture = gl.createTexture();
    gl.bindTexture(gl.TEXTURE_2D, texture);
    const texels = new Uint8Array(samples.flat());
    gl.pixelStorei(gl.UNPACK_ALIGNMENT, 1);
    gl.texImage2D(gl.TEXTURE_2D, 0, gl.RGB8, samples.length, 1, 0, gl.RGB, gl.UNSIGNED_BYTE, texels);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MIN_FILTER, gl.LINEAR);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_MAG_FILTER, gl.LINEAR);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_WRAP_S, gl.CLAMP_TO_EDGE);
    gl.texParameteri(gl.TEXTURE_2D, gl.TEXTURE_WRAP_T, gl.CLAMP_TO_EDGE);
    return texture;
  }

  // positions: x, y, z per point; colours: null (plain), one map position
  // per point (mode 1) or three channels per point (mode 2).
  setPoints(positions, colours, mode) {
    const gl = this.gl;
    this.positions = positions;
    this.count = positions.length / 3;
    this.mode = colours ? mode : 0;
    gl.bindBuffer(gl.ARRAY_BUFFER, this.positionBuffer);
    gl.bufferData(gl.ARRAY_BUFFER, positions, gl.STATIC_DRAW);
    if (colours) {
      gl.bindBuffer(gl.ARRAY_BUFFER, this.colourBuffer);
      gl.bufferData(gl.ARRAY_BUFFER, colours, gl.STATIC_DRAW);
    }
  }

  resize() {
    const ratio = window.devicePixelRatio || 1;
    const width = Math.max(1, Math.round(this.canvas.clientWidth * ratio));
    const height = Math.max(1, Math.round(this.canvas.clientHeight * ratio));
    if (this.canvas.width !== width || this.canvas.height !== height) {
      this.canvas.width = width;
      this.canvas.height = height;
    }
  }

  aspect() {
    return this.canvas.width / this.canvas.height;
  }

  draw(camera, pointSize) {
    const gl = this.gl;
    this.resize();
    this.matrix = camera.viewProjection(this.aspect());
    gl.viewport(0, 0, this.canvas.width, this.canvas.height);
    gl.clearColor(this.background[0], this.background[1], this.background[2], 1);
    gl.clear(gl.COLOR_BUFFER_BIT | gl.DEPTH_BUFFER_BIT);
    if (this.count === 0) {
      return;
    }
    gl.enable(gl.DEPTH_TEST);
    gl.useProgram(this.program);
    gl.uniformMatrix4fv(this.uniforms.viewProjection, false, this.matrix);
    gl.uniform1f(this.uniforms.pointSize, pointSize * (window.devicePixelRatio || 1));
    gl.uniform1i(this.uniforms.mode, this.mode);
    gl.uniform3fv(this.uniforms.plainColour, this.plain);
    gl.uniform3fv(this.uniforms.nonFiniteColour, this.nonFinite);
    gl.activeTexture(gl.TEXTURE0);
    gl.bindTexture(gl.TEXTURE_2D, this.mapTexture);
    gl.uniform1i(this.uniforms.colourMap, 0);
    gl.bindBuffer(gl.ARRAY_BUFFER, this.positionBuffer);
    gl.enableVertexAttribArray(0);
    gl.vertexAttribPointer(0, 3, gl.FLOAT, false, 0, 0);
    if (this.mode === 0) {
      gl.disableVertexAttribArray(1);
      gl.vertexAttrib3f(1, 0, 0, 0);
    } else {
      gl.bindBuffer(gl.ARRAY_BUFFER, this.colourBuffer);
      gl.enableVertexAttribArray(1);
      gl.vertexAttribPointer(1, this.mode === 1 ? 1 : 3, gl.FLOAT, false, 0, 0);
    }
    gl.drawArrays(gl.POINTS, 0, this.count);
  }

  // Where point i lands, in CSS pixels from the canvas's top left, with
  // its depth; null when it is behind the eye or not a finite position.
  project(i) {
    const m = this.matrix;
    const p = this.positions;
    const x = p[3 * i], y = p[3 * i + 1], z = p[3 * i + 2];
    const w = m[3] * x + m[7] * y + m[11] * z + m[15];
    if (!(w > 0)) {
      return null;
    }
    const cx = (m[0] * x + m[4] * y + m[8] * z + m[12]) / w;
    const cy = (m[1] * x + m[5] * y + m[9] * z + m[13]) / w;
    const cz = (m[2] * x + m[6] * y + m[10] * z + m[14]) / w;
    if (!Number.isFinite(cx) || !Number.isFinite(cy) || cz < -1 || cz > 1) {
      return null;
    }
    return {
      x: ((cx + 1) / 2) * this.canvas.clientWidth,
      y: ((1 - cy) / 2) * this.canvas.clientHeight,
      depth: cz,
    };
  }

  // The point drawn at (x, y), CSS pixels: of the points within reach of
  // it, the nearest to the eye. -1 when there is none.
  pick(x, y, pointSize) {
    const reach = pointSize / 2 + 3;
    let best = -1;
    let bestDepth = Infinity;
    for (let i = 0; i < this.count; i++) {
      const at = this.project(i);
      if (at && Math.abs(at.x - x) <= reach && Math.abs(at.y - y) <= reach && at.depth < bestDepth) {
        best = i;
        bestDepth = at.depth;
      }
    }
    return best;
  }
}
