// The playground's share link: the page's address, '#', then the base64url encoding (RFC 4648
// section 5, without padding) of the UTF-8 JSON {"main": NAME, "files": {NAME: TEXT, ...}}.

export function encodeProgram(program) {
  const bytes = new TextEncoder().encode(JSON.stringify({ main: program.main, files: program.files }));
  let binary = '';
  for (let i = 0; i < bytes.length; i += 0x8000) {
    binary += String.fromCharCode(...bytes.subarray(i, i + 0x8000));
  }
  return btoa(binary).replace(/\+/g, '-').replace(/\//g, '_').replace(/=+$/, '');
}

// The program a link's fragment holds, or null when it holds none: the fragment is not base64url,
// not UTF-8 JSON, or names no main file among its files, or a file whose text is not a string.
export function decodeProgram(fragment) {
  const text = fragment.startsWith('#') ? fragment.slice(1) : fragment;
  if (!text || !/^[A-Za-z0-9_-]*$/.test(text) || text.length % 4 === 1) return null;
  try {
    const binary = atob(text.replace(/-/g, '+').replace(/_/g, '/'));
    const bytes = Uint8Array.from(binary, (c) => c.charCodeAt(0));
    const program = JSON.parse(new TextDecoder('utf-8', { fatal: true }).decode(bytes));
    const files = program && program.files;
    if (typeof program.main !== 'string' || !files || typeof files !== 'object') return null;
    if (!Object.hasOwn(files, program.main)) return null;
    for (const name of Object.keys(files)) {
      if (typeof files[name] !== 'string' || !isPlainName(name)) return null;
    }
    return { main: program.main, files };
  } catch {
    return null;
  }
}

// A file of a program is a plain name in its one directory: no path, nothing hidden.
export function isPlainName(name) {
  return /^[A-Za-z0-9_][A-Za-z0-9_.+-]*$/.test(name) && name.length <= 100;
}
