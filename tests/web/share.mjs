// The playground's share links: what a fragment must hold to open as a program, one boundary per
// row, and the page's encoder against node's own base64url. node share.mjs
import { deepStrictEqual, strictEqual } from 'node:assert';
import { decodeProgram, encodeProgram } from '../../web/src/share.js';

const b64 = (text) => Buffer.from(text, 'utf8').toString('base64url');
const program = {
  main: 'prog.asm',
  files: { 'prog.asm': '\tnop ; µ → ✓ 😀\n', 'regs.inc': 'R equ 1\n', 'inst.dat': 'nop : 000000000000\n' },
};
strictEqual(encodeProgram(program), b64(JSON.stringify(program)));
deepStrictEqual(decodeProgram(encodeProgram(program)), program);
deepStrictEqual(decodeProgram('#' + encodeProgram(program)), program);
const long = 'a'.repeat(96) + '.asm';  // 100 characters: the longest name
deepStrictEqual(decodeProgram(b64(JSON.stringify({ main: long, files: { [long]: '' } }))), { main: long, files: { [long]: '' } });

const refused = [
  ['nothing', ''],
  ['a bare #', '#'],
  ['padding', b64('{"main":"a.asm","files":{"a.asm":""}}') + '='],
  ['standard base64 characters', Buffer.from('{"main":"a.asm","files":{"a.asm":"??>"}}').toString('base64')],
  ['a length no encoding has', 'abcde'],
  ['not JSON', b64('main=a.asm')],
  ['JSON null', b64('null')],
  ['an array', b64('[]')],
  ['no files', b64('{"main":"a.asm"}')],
  ['a main that is not among the files', b64('{"main":"a.asm","files":{"b.asm":""}}')],
  ['a main that is not a string', b64('{"main":1,"files":{"1":""}}')],
  ['a text that is not a string', b64('{"main":"a.asm","files":{"a.asm":1}}')],
  ['a path up', b64('{"main":"../a.asm","files":{"../a.asm":""}}')],
  ['a path down', b64('{"main":"a.asm","files":{"a.asm":"","sub/x.inc":""}}')],
  ['a hidden name', b64('{"main":".a.asm","files":{".a.asm":""}}')],
  ['a blank in a name', b64('{"main":"a b.asm","files":{"a b.asm":""}}')],
  ['a name of 101 characters', b64(JSON.stringify({ main: long + 'x', files: { [long + 'x']: '' } }))],
  ['bytes that are not UTF-8', Buffer.from([0x7b, 0xff, 0x7d]).toString('base64url')],
];
strictEqual(refused[3][1].includes('/'), true, 'the standard encoding has a character base64url has not');
for (const [what, fragment] of refused) strictEqual(decodeProgram(fragment), null, what);
console.log(`share links: ${refused.length + 4} rows passed`);
