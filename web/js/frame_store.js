// The frames kept across reloads, in localStorage under FRAMES_SLOT: a
// list, newest first, of {statement, pinned, collapsed, result, failure}.
// Storage is small (a few MiB per origin), so a result whose JSON passes
// RESULT_LIMIT characters is kept without its result (the frame offers
// Re-run), and older frames lose their results first until the whole list
// fits in TOTAL_LIMIT.

const FRAMES_SLOT = 'halvex.frames';
const RESULT_LIMIT = 400000;
const TOTAL_LIMIT = 2000000;

export function saveFrames(frames) {
  const kept = frames.map((frame) => {
    const text = frame.result ? JSON.stringify(frame.result) : '';
    return { ...frame, result: text.length > RESULT_LIMIT ? null : frame.result, size: text.length };
  });
  let total = kept.reduce((sum, frame) => sum + (frame.result ? frame.size : 0), 0);
  for (let i = kept.length - 1; i >= 0 && total > TOTAL_LIMIT; i--) {
    if (kept[i].result) {
      total -= kept[i].size;
      kept[i].result = null;
    }
  }
  try {
    localStorage.setItem(FRAMES_SLOT, JSON.stringify(kept.map(({ size, ...frame }) => frame)));
  } catch {
    /* storage full or disabled: the frames last until the page closes */
  }
}

// The saved frames, newest first; [] when there are none or they do not parse.
export function loadFrames() {
  try {
    const saved = JSON.parse(localStorage.getItem(FRAMES_SLOT) || '[]');
    return Array.isArray(saved) ? saved.filter((f) => f && typeof f.statement === 'string') : [];
  } catch {
    return [];
  }
}
