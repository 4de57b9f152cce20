// timeline.js
