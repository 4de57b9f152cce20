// panel.js
