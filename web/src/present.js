// What the page shows of a run: the checker's findings read back from its text, the order of a
// program's tabs, and the server's hover text as HTML.

// Each "FILE:LINE:COLUMN: SEVERITY: MESSAGE" line of wendrix-lint's output.
export function parseFindings(text) {
  const findings = [];
  for (const line of text.split('\n')) {
    const m = /^(.+?):(\d+):(\d+): (error|warning|note): (.*)$/.exec(line);
    if (m) findings.push({ file: m[1], line: Number(m[2]), column: Number(m[3]), severity: m[4], message: m[5] });
  }
  return findings;
}

// The main source first, then the other files by name, the instruction set last.
export function orderedNames(program) {
  const rank = (name) => (name === program.main ? 0 : /^inst\.dat$/i.test(name) ? 2 : 1);
  return Object.keys(program.files).sort((a, b) => rank(a) - rank(b) || (a < b ? -1 : a > b ? 1 : 0));
}

function escapeHtml(text) {
  return text.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;').replace(/"/g, '&quot;');
}

// The server's markdown as it writes it: paragraphs, **bold** and `code`; everything else is
// text, escaped first.
export function markdownToHtml(markdown) {
  return markdown.split(/\n\n+/).map((paragraph) => {
    const html = escapeHtml(paragraph)
      .replace(/`([^`]*)`/g, '<code>$1</code>')
      .replace(/\*\*([^*]+)\*\*/g, '<b>$1</b>')
      .replace(/\n/g, '<br>');
    return `<p>${html}</p>`;
  }).join('');
}
