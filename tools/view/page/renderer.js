// renderer.js
