// main.js
