// api.js
