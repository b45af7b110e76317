// Light and dark themes: the choice is kept in localStorage; without one
// the system preference decides. Charts and the graph read CSS variables,
// so switching re-renders nothing.

const SLOT = 'halvex.theme';

export function initTheme(toggle, onChange) {
  const saved = localStorage.getItem(SLOT);
  const prefersDark = window.matchMedia && window.matchMedia('(prefers-color-scheme: dark)').matches;
  let theme = saved === 'dark' || saved === 'light' ? saved : prefersDark ? 'dark' : 'light';
  const apply = () => {
    document.documentElement.dataset.theme = theme;
    toggle.setAttribute('aria-label', theme === 'dark' ? 'Switch to the light theme' : 'Switch to the dark theme');
    toggle.setAttribute('aria-pressed', String(theme === 'dark'));
  };
  apply();
  toggle.addEventListener('click', () => {
    theme = theme === 'dark' ? 'light' : 'dark';
    localStorage.setItem(SLOT, theme);
    apply();
    if (onChange) onChange(theme);
  });
}
