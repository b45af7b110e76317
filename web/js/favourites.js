// Favourite statements, kept in this browser's localStorage as a list of
// {name, statement} (newest first). The name is the statement's first
// comment line when it starts with one ("// top authors"), as Neo4j
// Browser names its favourites, else the statement's first line.

const SLOT = 'halvex.favourites';
const LIMIT = 200;

// The kept favourites; an unreadable slot reads as none.
export function loadFavourites() {
  try {
    const saved = JSON.parse(localStorage.getItem(SLOT) || '[]');
    return Array.isArray(saved) ? saved.filter((f) => f && typeof f.statement === 'string' && typeof f.name === 'string') : [];
  } catch {
    return [];
  }
}

function store(list) {
  try {
    localStorage.setItem(SLOT, JSON.stringify(list.slice(0, LIMIT)));
  } catch {
    throw new Error('the browser did not keep the favourite (storage full or disabled)');
  }
}

export function favouriteName(statement) {
  const first = statement.trim().split('\n')[0].trim();
  const comment = /^\/\/\s*(.+)$/.exec(first);
  return (comment ? comment[1] : first).slice(0, 80);
}

// Adds `statement` at the top (moving it there when already saved);
// returns the new list. Throws when the browser cannot keep it.
export function addFavourite(statement) {
  const text = statement.trim();
  if (!text) return loadFavourites();
  const list = [{ name: favouriteName(text), statement: text }, ...loadFavourites().filter((f) => f.statement !== text)];
  store(list);
  return list;
}

// Removes the favourite whose statement is `statement`; returns the list.
export function removeFavourite(statement) {
  const list = loadFavourites().filter((f) => f.statement !== statement);
  store(list);
  return list;
}
