// The camera: orbits a target, pans, zooms; perspective, or orthographic
// along an axis the way velpo preview --axis looks:
//   z  along -z, x to the right, y up
//   x  along -x, -z to the right, y up
//   y  along -y (from above), x to the right, -z up
// Matrices are column-major, as WebGL takes them.

const FieldOfView = (40 * Math.PI) / 180;
const AxisAngles = { z: [0, 0], x: [Math.PI / 2, 0], y: [0, Math.PI / 2] };

export class Camera {
  constructor() {
    this.target = [0, 0, 0];
    this.radius = 1;
    this.distance = 3;
    this.yaw = 0.6;
    this.pitch = 0.35;
    this.orthographic = false;
  }

  // The eye's direction from the target, and the screen's right and up.
  basis() {
    const cy = Math.cos(this.yaw), sy = Math.sin(this.yaw);
    const cp = Math.cos(this.pitch), sp = Math.sin(this.pitch);
    const back = [cp * sy, sp, cp * cy];
    const right = [cy, 0, -sy];
    const up = [-sp * sy, cp, -sp * cy];
    return { back, right, up };
  }

  setAxis(axis) {
    if (axis === "perspective") {
      this.orthographic = false;
      return;
    }
    [this.yaw, this.pitch] = AxisAngles[axis];
    this.orthographic = true;
  }

  // Frames a box {min, max}: all of it in view, with a margin.
  fit(bounds, aspect) {
    if (!bounds) {
      return;
    }
    const size = [0, 1, 2].map((i) => bounds.max[i] - bounds.min[i]);
    this.target = [0, 1, 2].map((i) => bounds.min[i] / 2 + bounds.max[i] / 2);
    const diagonal = Math.hypot(size[0], size[1], size[2]);
    this.radius = diagonal > 0 && Number.isFinite(diagonal) ? diagonal / 2 : 1;
    let half = this.radius;
    if (this.orthographic) {
      const { right, up } = this.basis();
      const extent = (axis) => Math.abs(axis[0]) * size[0] + Math.abs(axis[1]) * size[1] + Math.abs(axis[2]) * size[2];
      half = Math.max(extent(up) / 2, extent(right) / 2 / aspect, this.radius * 1e-3);
    } else if (aspect < 1) {
      half /= aspect;
    }
    this.distance = (half * 1.08) / Math.tan(FieldOfView / 2);
  }

  orbit(dx, dy) {
    this.yaw -= dx * 0.008;
    this.pitch = Math.min(Math.PI / 2, Math.max(-Math.PI / 2, this.pitch + dy * 0.008));
  }

  pan(dx, dy, viewHeight) {
    const { right, up } = this.basis();
    const scale = (2 * this.distance * Math.tan(FieldOfView / 2)) / viewHeight;
    for (let i = 0; i < 3; i++) {
      this.target[i] += (-dx * right[i] + dy * up[i]) * scale;
    }
  }

  zoom(factor) {
    this.distance = Math.min(Math.max(this.distance * factor, this.radius * 1e-4), this.radius * 1e4);
  }

  // The matrix from world to clip space.
  viewProjection(aspect) {
    const { back, right, up } = this.basis();
    const eye = [0, 1, 2].map((i) => this.target[i] + back[i] * this.distance);
    const dot = (a, b) => a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    const view = [right, up, back].map((axis) => [axis[0], axis[1], axis[2], -dot(axis, eye)]);
    const far = this.distance + 4 * this.radius;
    let near;
    let rows;
    if (this.orthographic) {
      near = this.distance - 4 * this.radius;
      const h = this.distance * Math.tan(FieldOfView / 2);
      rows = [[1 / (h * aspect), 0, 0, 0], [0, 1 / h, 0, 0],
              [0, 0, -2 / (far - near), -(far + near) / (far - near)], [0, 0, 0, 1]];
    } else {
      near = Math.max(this.distance - 4 * this.radius, this.distance * 1e-3);
      const f = 1 / Math.tan(FieldOfView / 2);
      rows = [[f / aspect, 0, 0, 0], [0, f, 0, 0],
              [0, 0, (far + near) / (near - far), (2 * far * near) / (near - far)], [0, 0, -1, 0]];
    }
    const out = new Float32Array(16);
    for (let r = 0; r < 4; r++) {
      for (let c = 0; c < 4; c++) {
        let sum = 0;
        for (let k = 0; k < 3; k++) {
          sum += rows[r][k] * view[k][c];
        }
        sum += rows[r][3] * (c === 3 ? 1 : 0);
        out[c * 4 + r] = sum;
      }
    }
    return out;
  }
}
