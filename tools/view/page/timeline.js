// The timeline under the view: a slider over the frames, buttons to step
// and play, and marks where frames are missing or unreadable.

export class Timeline {
  // onChoose(index) is called when the user picks a frame.
  constructor(onChoose, onPlay) {
    this.slider = document.getElementById("slider");
    this.marks = document.getElementById("marks");
    this.label = document.getElementById("frame-label");
    this.problem = document.getElementById("frame-problem");
    this.playButton = document.getElementById("play");
    this.frames = [];
    this.slider.addEventListener("input", () => onChoose(Number(this.slider.value)));
    const step = (delta) => () => onChoose(this.clamp(Number(this.slider.value) + delta));
    document.getElementById("first").addEventListener("click", () => onChoose(0));
    document.getElementById("previous").addEventListener("click", step(-1));
    document.getElementById("next").addEventListener("click", step(1));
    document.getElementById("last").addEventListener("click", () => onChoose(this.frames.length - 1));
    this.playButton.addEventListener("click", onPlay);
  }

  clamp(index) {
    return Math.min(Math.max(index, 0), Math.max(this.frames.length - 1, 0));
  }

  setFrames(frames) {
    this.frames = frames;
    this.slider.max = String(Math.max(frames.length - 1, 0));
    this.drawMarks();
  }

  setPlaying(playing) {
    this.playButton.textContent = playing ? "Pause" : "Play";
  }

  show(index) {
    const frame = this.frames[index];
    this.slider.value = String(index);
    if (!frame) {
      this.label.textContent = "no frames";
      return;
    }
    this.label.textContent = `frame ${frame.frame}  (${index + 1} of ${this.frames.length})`;
    const bad = frame.state === "missing" || frame.state === "unreadable";
    this.problem.textContent = bad ? `frame ${frame.frame} (${frame.file}): ${frame.reason}` : "";
    this.problem.dataset.frame = bad ? String(frame.frame) : "";
  }

  // One mark per missing (red) or unreadable (orange) frame, where the
  // slider's thumb stands for it.
  drawMarks() {
    const canvas = this.marks;
    const ratio = window.devicePixelRatio || 1;
    canvas.width = Math.max(1, Math.round(canvas.clientWidth * ratio));
    canvas.height = Math.round(8 * ratio);
    const g = canvas.getContext("2d");
    g.clearRect(0, 0, canvas.width, canvas.height);
    const n = this.frames.length;
    const thumb = 8 * ratio;
    const span = canvas.width - 2 * thumb;
    this.frames.forEach((frame, i) => {
      if (frame.state !== "missing" && frame.state !== "unreadable") {
        return;
      }
      const x = thumb + (n > 1 ? (i / (n - 1)) * span : span / 2);
      g.fillStyle = frame.state === "missing" ? "rgb(235, 90, 80)" : "rgb(240, 160, 60)";
      g.fillRect(Math.round(x - ratio), 0, Math.max(2, Math.round(2 * ratio)), canvas.height);
    });
    canvas.dataset.marked = String(this.frames.filter((f) => f.state === "missing" || f.state === "unreadable").length);
  }
}
