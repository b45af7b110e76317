// Measuring helpers run inside the page by the console bench (as strings
// through page.evaluate): a long-task recorder and a frame counter.
'use strict';

// Starts recording long tasks (over 50 ms) into window.__longTasks.
const RECORD_LONG_TASKS = `(() => {
  window.__longTasks = [];
  new PerformanceObserver((list) => {
    for (const entry of list.getEntries()) window.__longTasks.push({ at: entry.startTime, ms: entry.duration });
  }).observe({ type: 'longtask', buffered: true });
})()`;

// Counts animation frames from now on; window.__frames() returns
// {frames, ms, worst} (worst: the longest gap between two frames).
const COUNT_FRAMES = `(() => {
  const state = { frames: 0, start: performance.now(), last: performance.now(), worst: 0, on: true };
  const tick = (now) => {
    if (!state.on) return;
    state.frames += 1;
    state.worst = Math.max(state.worst, now - state.last);
    state.last = now;
    requestAnimationFrame(tick);
  };
  requestAnimationFrame(tick);
  window.__frames = () => { state.on = false; return { frames: state.frames, ms: performance.now() - state.start, worst: state.worst }; };
})()`;

// The longest task recorded since `since` (a performance.now() value), in ms.
const longestSince = (since) => `Math.max(0, ...window.__longTasks.filter((t) => t.at + t.ms >= ${since}).map((t) => t.ms))`;

module.exports = { RECORD_LONG_TASKS, COUNT_FRAMES, longestSince };
