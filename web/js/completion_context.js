// What the word at the caret could be, read from the text before it: a
// label after ":" inside "(...)", a relationship type after ":" inside
// "[...]" (or after "|" there), a property key after ".", a procedure after
// CALL, and otherwise a keyword. Strings, backtick names and comments
// complete nothing. Pure text work, so the tests and the page share it.

const WORD_BEFORE = /[A-Za-z_][A-Za-z0-9_]*$/;
const PROCEDURE_BEFORE = /\bCALL\s+([A-Za-z_][A-Za-z0-9_.]*)$/i;

// The innermost bracket open at the end of `text` ("(", "[", "{" or ""),
// skipping strings, backtick names and line comments.
function openBracket(text) {
  const stack = [];
  for (let i = 0; i < text.length; i++) {
    const c = text[i];
    if (c === "'" || c === '"' || c === '`') {
      const end = text.indexOf(c, i + 1);
      if (end < 0) return 'quoted';
      i = end;
    } else if (c === '/' && text[i + 1] === '/') {
      const end = text.indexOf('\n', i);
      if (end < 0) return 'quoted';
      i = end;
    } else if (c === '(' || c === '[' || c === '{') {
      stack.push(c);
    } else if (c === ')' || c === ']' || c === '}') {
      stack.pop();
    }
  }
  return stack.length ? stack[stack.length - 1] : '';
}

// Given the text before the caret, returns {kind, prefix, from} where kind
// is 'label', 'type', 'property', 'procedure' or 'keyword', prefix the part
// of the word already typed and from the offset where that word starts; or
// null where nothing should be offered.
export function completionContext(before) {
  const bracket = openBracket(before);
  if (bracket === 'quoted') return null;
  const procedure = PROCEDURE_BEFORE.exec(before);
  if (procedure) return { kind: 'procedure', prefix: procedure[1], from: before.length - procedure[1].length };
  const word = WORD_BEFORE.exec(before);
  const prefix = word ? word[0] : '';
  const from = before.length - prefix.length;
  const mark = before[from - 1];
  if (mark === ':' && bracket === '(') return { kind: 'label', prefix, from };
  if ((mark === ':' || mark === '|') && bracket === '[') return { kind: 'type', prefix, from };
  if (mark === '.' && /[A-Za-z0-9_`)]$/.test(before.slice(0, from - 1))) return { kind: 'property', prefix, from };
  if (mark === ':' || mark === '$' || !prefix || /[0-9]/.test(prefix[0])) return null;
  if (/[A-Za-z0-9_.]$/.test(before.slice(0, from))) return null;
  if (/^\s*:/.test(before.slice(before.lastIndexOf('\n') + 1))) return null; // a colon command
  return { kind: 'keyword', prefix, from };
}
