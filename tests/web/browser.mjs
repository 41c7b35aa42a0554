// The playground in a real browser: the built page served from 127.0.0.1 and driven in headless
// Chromium. The examples and a program given by a share link must show the native programs'
// listing, hex file and findings; the finding's marker, a hover, an edit, the share button and a
// broken link are checked on the way. node browser.mjs DIST WENDRIX WENDRIX_LINT EXAMPLES_DIR
import { mkdtempSync, readdirSync, readFileSync, rmSync } from 'node:fs';
import { createServer } from 'node:http';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { extname, join, resolve } from 'node:path';
import { runNative } from './native.mjs';

const [dist, wendrix, lint, examples] = process.argv.slice(2).map((arg) => resolve(arg));
const puppeteer = createRequire(new URL('../../web/package.json', import.meta.url))('puppeteer-core');

let failures = 0;
function expect(what, got, want) {
  if (got === want) return;
  failures += 1;
  console.log(`FAIL ${what}\n--- page\n${got}\n--- expected\n${want}`);
}

function example(dir, main) {
  const files = {};
  for (const name of readdirSync(dir)) {
    if (name === main || /\.inc$|^inst\.dat$/.test(name)) files[name] = readFileSync(join(dir, name), 'utf8');
  }
  return { main, files };
}

const link = (program) => Buffer.from(JSON.stringify(program), 'utf8').toString('base64url');

const types = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css', '.json': 'application/json', '.wasm': 'application/wasm' };
const server = createServer((request, response) => {
  const name = new URL(request.url, 'http://127.0.0.1').pathname.replace(/^\/$/, '/index.html');
  try {
    const body = readFileSync(join(dist, name.replace(/\.\./g, '')));
    response.writeHead(200, { 'Content-Type': types[extname(name)] || 'application/octet-stream' });
    response.end(body);
  } catch {
    response.writeHead(404).end();
  }
});
await new Promise((done) => server.listen(0, '127.0.0.1', done));
const url = `http://127.0.0.1:${server.address().port}/`;

const profile = mkdtempSync(join(tmpdir(), 'wendrix-chromium-'));
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  headless: true,
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
    '--disable-component-update', '--disable-sync', `--user-data-dir=${profile}`],
});

const runsOf = (page) => page.$eval('#status', (e) => Number(e.dataset.runs || 0));
async function afterRuns(page, count) {
  await page.waitForFunction((n) => Number(document.getElementById('status').dataset.runs || 0) >= n &&
    !document.getElementById('status').textContent.startsWith('assembling'), { timeout: 30000 }, count);
}
const text = (page, id) => page.$eval(id, (e) => e.textContent);

async function compare(page, what, program) {
  const want = runNative(program, wendrix, lint);
  const output = (extension) => want.outputs[Object.keys(want.outputs).find((n) => n.endsWith(extension))];
  expect(`${what}: #hex`, await text(page, '#hex'), output('.hex'));
  expect(`${what}: #lst`, await text(page, '#lst'), output('.lst'));
  expect(`${what}: #console`, await text(page, '#console'), want.console);
  expect(`${what}: #findings`, await text(page, '#findings'), want.findings);
}

try {
  // Each example, opened by a share link the test makes itself.
  const shipped = [example(examples, 'blink.asm'), example(examples, 'pages.asm'),
    example(join(examples, 'counter'), 'counter.asm')];
  for (const program of shipped) {
    const page = await browser.newPage();
    const started = Date.now();
    await page.goto(`${url}#${link(program)}`);
    await afterRuns(page, 1);
    console.log(`${program.main}: shown ${Date.now() - started} ms after the page was asked for; ${await text(page, '#status')}`);
    await compare(page, program.main, program);
    const tabs = await page.$$eval('#tabs .tab', (all) => all.map((t) => t.textContent).join(' '));
    expect(`${program.main}: tabs`, tabs, [program.main, ...Object.keys(program.files).filter((n) => n !== program.main && n !== 'inst.dat').sort(), 'inst.dat'].join(' '));
    await page.close();
  }

  // The page alone opens the first example; the list opens the others.
  const page = await browser.newPage();
  await page.goto(url);
  await afterRuns(page, 1);
  await compare(page, 'the first example', shipped[0]);
  await page.select('#example', 'counter');
  await afterRuns(page, 2);
  await compare(page, 'counter from the list', shipped[2]);
  await page.close();

  // A program of one's own, with a value the checker warns about on line 5, column 18.
  const program = {
    main: 'prog.asm',
    files: {
      'prog.asm': '; the playground\'s own check\n__FUSE    equ  0\n__FUSEX   equ  0\n          org  0\nstart     movlw  300\n          goto   start\n',
      'inst.dat': readFileSync(join(examples, 'inst.dat'), 'utf8'),
    },
  };
  const own = await browser.newPage();
  await own.setViewport({ width: 1400, height: 900 });
  await own.goto(`${url}#${link(program)}`);
  await afterRuns(own, 1);
  await compare(own, 'the shared program', program);
  expect('no notice for a good link', await text(own, '#notice'), '');
  expect('the list for a shared program', await own.$eval('#example', (e) => e.value), '');
  expect('a warning is found', (await text(own, '#findings')).includes('prog.asm:5:18: warning: value 300 (0x12c) does not fit the 8 bits'), true);
  await own.waitForSelector('.cm-lintRange-warning');
  expect('the warning marks', await own.$eval('.cm-lintRange-warning', (e) => e.textContent), '300');
  expect('a marker in the gutter', await own.$$eval('.cm-lint-marker-warning', (all) => all.length), 1);
  expect('.hex to download', await own.$eval('#download-hex', (e) => e.disabled), false);

  // Hover: the instruction's address and word (movlw k8 is 1100 k7-0; 300 is cut to 0x2c) and
  // its definition, line 25 of inst.dat; then a label's value and where it is defined.
  const hoverOn = async (word, nth = 0) => {
    const box = await own.evaluate((w, n) => {
      const walk = document.createTreeWalker(document.querySelector('.cm-content'), NodeFilter.SHOW_TEXT);
      for (let node = walk.nextNode(), seen = 0; node; node = walk.nextNode()) {
        for (let at = node.data.indexOf(w); at >= 0; at = node.data.indexOf(w, at + 1)) {
          if (seen++ < n) continue;
          const range = document.createRange();
          range.setStart(node, at);
          range.setEnd(node, at + w.length);
          const r = range.getBoundingClientRect();
          return { x: r.x + r.width / 2, y: r.y + r.height / 2 };
        }
      }
      return null;
    }, word, nth);
    await own.mouse.move(1, 1);
    await own.waitForFunction(() => !document.querySelector('.cm-tooltip-hover'));
    await own.mouse.move(box.x, box.y);
    await own.waitForSelector('.cm-tooltip-hover .wendrix-hover', { timeout: 10000 });
    return own.$eval('.cm-tooltip-hover .wendrix-hover', (e) => e.innerHTML);
  };
  const movlw = await hoverOn('movlw');
  expect('hover on movlw', movlw.startsWith('<p><b>movlw</b> at 0x000, word <code>c2c</code></p><p>inst.dat line 25: <code>movlw'), true);
  const start = await hoverOn('start', 1);
  expect('hover on start', start, '<p><b>start</b> = <code>0x000</code> (0)</p><p>label defined at prog.asm:5</p>');
  if (process.env.WENDRIX_WEB_SCREENSHOT) await own.screenshot({ path: process.env.WENDRIX_WEB_SCREENSHOT });

  // An edit: 300 becomes 30, which fits; the page assembles and checks again.
  const before = await runsOf(own);
  await own.click('.cm-lintRange-warning');
  await own.keyboard.press('End');
  await own.keyboard.press('Backspace');
  await afterRuns(own, before + 1);
  await own.waitForFunction(() => !document.querySelector('.cm-lintRange-warning'), { timeout: 10000 });
  program.files['prog.asm'] = program.files['prog.asm'].replace('movlw  300', 'movlw  30');
  await afterRuns(own, (await runsOf(own)));
  await compare(own, 'the edited program', program);
  console.log(`after an edit: ${await text(own, '#status')}`);

  // The share button's link holds the edited files, as base64url without padding.
  await own.click('#share');
  const shared = await own.$eval('#share-link', (e) => e.value);
  const fragment = shared.slice(shared.indexOf('#') + 1);
  expect('the link is base64url', /^[A-Za-z0-9_-]+$/.test(fragment), true);
  expect('the link holds the program', Buffer.from(fragment, 'base64url').toString('utf8'), JSON.stringify(program));
  await own.close();

  // A link that holds no program says so and opens the first example.
  const broken = await browser.newPage();
  await broken.goto(`${url}#not*base64`);
  await afterRuns(broken, 1);
  await compare(broken, 'after a broken link', shipped[0]);
  expect('a broken link', await text(broken, '#notice'), 'the link holds no program');
  expect('the list after a broken link', await broken.$eval('#example', (e) => e.value), 'blink');
  await broken.close();
} finally {
  await browser.close();
  server.close();
  rmSync(profile, { recursive: true, force: true });
}
console.log(failures ? `${failures} failed` : 'all passed');
process.exit(failures ? 1 : 0);
