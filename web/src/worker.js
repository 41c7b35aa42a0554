// The playground's worker: keeps the program's files in the module's in-memory file system and
// runs wendrix, wendrix-lint and wendrix-lsp on them, off the page's thread.
/* global importScripts, createWendrix */
import { runProgram, hoverAt } from './tools.js';

importScripts('wendrix-web.js');
const ready = createWendrix();

self.onmessage = async (event) => {
  const module = await ready;
  const request = event.data;
  let answer;
  if (request.kind === 'run') answer = runProgram(module, request.program);
  if (request.kind === 'hover') answer = { hover: hoverAt(module, request.file, request.line, request.character) };
  self.postMessage({ id: request.id, ...answer });
};
