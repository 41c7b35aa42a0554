// Highlighting of a source in the editor, by the fields of a line: a label in column 0, the
// mnemonic or directive next, operands after it, a comment from ';' or '//'.

import { HighlightStyle, StreamLanguage, syntaxHighlighting } from '@codemirror/language';
import { tags } from '@lezer/highlight';

const sourceLanguage = {
  name: 'wendrix',
  startState: () => ({ field: 0 }),
  token(stream, state) {
    if (stream.sol()) state.field = 0;
    if (stream.match(';') || stream.match('//')) {
      stream.skipToEnd();
      return 'comment';
    }
    if (stream.sol() && stream.match(/^#include\b/i)) {
      state.field = 2;
      return 'keyword';
    }
    if (stream.eatSpace()) {
      if (state.field === 0) state.field = 1;
      return null;
    }
    if (state.field === 0) {
      stream.match(/^[^\s;]+/);
      state.field = 1;
      return 'labelName';
    }
    if (state.field === 1) {
      const word = stream.match(/^[^\s;,]+/)[0];
      state.field = 2;
      return /^(org|equ|ds)$/i.test(word) ? 'meta' : 'keyword';
    }
    if (stream.match(/^"[^"]*"?/)) return 'string';
    if (stream.match(/^(\$[0-9a-f]+|0x[0-9a-f]+\b|[bodh]'[^']*'?|\d+\b)/i)) return 'number';
    if (stream.match(/^[A-Za-z_?][\w.?]*/)) return 'variableName';
    stream.next();
    return 'operator';
  },
};

// Colours for the fields (CodeMirror's default style leaves labels and names plain); the
// language and its colours, made once for every source's editor state.
export const sourceHighlighting = [
  StreamLanguage.define(sourceLanguage),
  syntaxHighlighting(HighlightStyle.define([
    { tag: tags.labelName, color: '#7a3e9d', fontWeight: '600' },
    { tag: tags.keyword, color: '#1f5fa8' },
    { tag: tags.meta, color: '#a8501f' },
    { tag: tags.variableName, color: '#22663a' },
    { tag: tags.number, color: '#a31515' },
    { tag: tags.string, color: '#a31515' },
    { tag: tags.comment, color: '#6a737d', fontStyle: 'italic' },
  ])),
];
