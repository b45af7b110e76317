// Splits an editor input into statements the way the server does: a `;`
// ends a Cypher statement unless it sits inside a quoted string ('…' or
// "…", with backslash escapes), a backticked name or a comment (// to the
// end of the line, /* … */); a colon command (:param x => 1, :help) is
// one statement ended by its line. Empty pieces are dropped, and each
// statement keeps its own text exactly, so the line and column of an
// error the server reports are positions within that text.

export function splitStatements(input) {
  const out = [];
  let start = 0;
  let i = 0;
  const n = input.length;
  const push = (end) => {
    const text = input.slice(start, end).trim();
    if (text && !/^(?:\/\/[^\n]*\s*|\/\*[\s\S]*?\*\/\s*)+$/.test(text)) out.push(text);
  };
  // At the start of a statement a colon command takes the rest of its line.
  const atStatementStart = () => input.slice(start, i).trim() === '';
  while (i < n) {
    const c = input[i];
    const next = input[i + 1];
    if (c === ':' && atStatementStart()) {
      const end = input.indexOf('\n', i);
      const stop = end < 0 ? n : end;
      push(stop);
      start = i = stop;
      continue;
    }
    if (c === '\'' || c === '"' || c === '`') {
      i += 1;
      while (i < n && input[i] !== c) i += c !== '`' && input[i] === '\\' ? 2 : 1;
      i += 1;
    } else if (c === '/' && next === '/') {
      const end = input.indexOf('\n', i);
      i = end < 0 ? n : end;
    } else if (c === '/' && next === '*') {
      const end = input.indexOf('*/', i + 2);
      i = end < 0 ? n : end + 2;
    } else if (c === ';') {
      push(i);
      start = i = i + 1;
    } else {
      i += 1;
    }
  }
  push(n);
  return out;
}
