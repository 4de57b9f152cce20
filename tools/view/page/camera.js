// camera.js
