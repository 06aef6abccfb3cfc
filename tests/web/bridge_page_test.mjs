// The bridge's web page in Debian's Chromium (headless, driven by
// playwright-core), against two recorder simulators: an H.264 recorder of
// four cameras and an MPEG-4 one.
//   node bridge_page_test.mjs BIN_DIR SCREENSHOT_DIR
// Exits 0 when every check passes, 77 (skipped) when no browser is there.
import { spawn } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { chromium } from 'playwright-core';

const [binDir, screenshotDir] = process.argv.slice(2);
const BROWSER = process.env.ORVIX_CHROMIUM || '/usr/bin/chromium';
const FPS = 25;
const USER = 'viewer';
const PASSWORD = 'web-secret';
// The simulator's channel colours (RGB), channels 1-4.
const COLOURS = [[220, 40, 40], [40, 170, 60], [50, 80, 220], [230, 200, 40]];

if (!fs.existsSync(BROWSER)) {
  console.log(`SKIP: no browser at ${BROWSER} (scripts/install-deps.sh installs Debian's chromium)`);
  process.exit(77);
}

const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'orvix-web-'));
const children = [];
let failures = 0;

function check(ok, what) {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  if (!ok) failures++;
}

// Starts a program and resolves with the first match of `pattern` in its
// output.
function start(program, args, pattern) {
  const child = spawn(path.join(binDir, program), args, { stdio: ['ignore', 'pipe', 'pipe'] });
  children.push(child);
  let output = '';
  return new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`${program} did not start: ${output}`)), 30000);
    const read = (data) => {
      output += data;
      const found = output.match(pattern);
      if (found) {
        clearTimeout(timer);
        resolve({ child, found });
      }
    };
    child.stdout.on('data', read);
    child.stderr.on('data', read);
    if (process.env.ORVIX_WEB_TEST_VERBOSE) {
      for (const stream of [child.stdout, child.stderr]) stream.on('data', (d) => process.stdout.write(`[${program}] ${d}`));
    }
  });
}

async function simulator(port, extra) {
  const { child, found } = await start('orvix-recorder-sim',
    ['--port', String(port), '--echo-interval', '0', '--channels', '4', '--fps', String(FPS), ...extra],
    /listening on .*:(\d+)/);
  return { child, port: Number(found[1]) };
}

function stop(child) {
  return new Promise((resolve) => {
    if (child.exitCode !== null || child.signalCode !== null) return resolve();
    child.once('exit', resolve);
    child.kill('SIGKILL');
  });
}

const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

async function until(what, probe, limitMs = 20000) {
  const end = Date.now() + limitMs;
  let value;
  while (Date.now() < end) {
    value = await probe();
    if (value) return value;
    await sleep(250);
  }
  return value;
}

// Each tile's picture sampled away from the number, time and square: the
// median colour of a few points, drawn from the video element onto a canvas.
function tileColours(page) {
  return page.evaluate(() => [...document.querySelectorAll('.tile')].map((tile) => {
    const video = tile.querySelector('video');
    if (!video.videoWidth) return null;
    const canvas = document.createElement('canvas');
    canvas.width = video.videoWidth;
    canvas.height = video.videoHeight;
    const context = canvas.getContext('2d');
    context.drawImage(video, 0, 0);
    const points = [[0.03, 0.35], [0.97, 0.35], [0.03, 0.6], [0.97, 0.6], [0.5, 0.03]];
    const samples = points.map(([x, y]) => context.getImageData(Math.floor(x * canvas.width), Math.floor(y * canvas.height), 1, 1).data);
    return [0, 1, 2].map((c) => samples.map((s) => s[c]).sort((a, b) => a - b)[2]);
  }));
}

const near = (a, b) => a && a.every((v, i) => Math.abs(v - b[i]) <= 40);
const frames = (page) => page.evaluate(() => [...document.querySelectorAll('.tile video')].map((v) => Number(v.dataset.frames || 0)));

async function post(url, body, auth) {
  const headers = { 'Content-Type': 'application/sdp' };
  if (auth) headers.Authorization = auth;
  return (await fetch(url, { method: 'POST', headers, body })).status;
}

async function main() {
  const passwordFile = path.join(scratch, 'recorder.pw');
  fs.writeFileSync(passwordFile, '1234\n');
  const viewerFile = path.join(scratch, 'viewer.pw');
  fs.writeFileSync(viewerFile, PASSWORD + '\n');
  const h264 = await simulator(0, ['--model-code', '51', '--size', '352x288']);
  const mpeg4 = await simulator(0, ['--model-code', '11', '--size', '352x288']);
  const config = path.join(scratch, 'bridge.conf');
  fs.writeFileSync(config, [
    '[bridge]', 'listen=127.0.0.1:0', 'status-listen=127.0.0.1:0', 'close-after=2', 'join-wait=10',
    `[user ${USER}]`, `password-file=${viewerFile}`,
    '[recorder lobby]', 'host=127.0.0.1', `port=${h264.port}`, 'user=admin', `password-file=${passwordFile}`, 'stream=h264',
    '[recorder yard]', 'host=127.0.0.1', `port=${mpeg4.port}`, 'user=admin', `password-file=${passwordFile}`,
    '',
  ].join('\n'));
  const bridge = await start('orvix-bridge', ['--config', config], /status on (http:\/\/\S+)\//);
  const base = bridge.found[1];

  const browser = await chromium.launch({
    executablePath: BROWSER,
    args: ['--no-sandbox', '--use-fake-ui-for-media-stream', '--autoplay-policy=no-user-gesture-required'],
  });
  try {
    // A wrong login sees no page and gets no video.
    const stranger = await browser.newContext({ httpCredentials: { username: USER, password: 'wrong' } });
    // Chromium gives up on a login it was refused with an error of its own.
    const refused = await (await stranger.newPage()).goto(base + '/').then((r) => String(r.status()), (e) => e.message);
    check(/401|ERR_HTTP_RESPONSE_CODE_FAILURE|ERR_INVALID_AUTH_CREDENTIALS/.test(refused), `a wrong login gets no page (${refused.split('\n')[0]})`);
    await stranger.close();
    check(await post(base + '/whep/lobby/1', 'v=0\r\n') === 401, 'a WHEP offer without a login gets 401');

    const context = await browser.newContext({
      httpCredentials: { username: USER, password: PASSWORD }, viewport: { width: 1024, height: 700 },
    });
    const page = await context.newPage();
    page.on('console', (m) => { if (m.type() === 'error') console.log('page:', m.text()); });
    await page.goto(base + '/');
    check(page.url().endsWith('/view/'), `a browser at / is sent to the page (${page.url()})`);

    const names = await until('tiles', async () => {
      const shown = await page.locator('.tile .name').allTextContents();
      return shown.length === 4 ? shown : null;
    });
    check(JSON.stringify(names) === JSON.stringify([1, 2, 3, 4].map((c) => `lobby camera ${c}`)),
      `the page lists the recorder's cameras (${names})`);
    const options = await page.locator('#recorder option').evaluateAll((all) => all.map((o) => o.value));
    check(options.join() === 'lobby,yard', `both recorders listed (${options})`);

    const colours = await until('four colours', async () => {
      const seen = await tileColours(page);
      return seen.every((c, i) => near(c, COLOURS[i])) ? seen : null;
    }, 30000);
    check(Boolean(colours), `the 4-tile grid shows the four channel colours (${JSON.stringify(await tileColours(page))})`);
    fs.mkdirSync(screenshotDir, { recursive: true });
    await page.screenshot({ path: path.join(screenshotDir, 'web_grid.png') });

    // One tile alone plays at the simulator's rate.
    await page.locator('.tile').first().click({ position: { x: 20, y: 20 } });
    await until('one tile', async () => (await page.locator('.tile').count()) === 1);
    const before = (await frames(page))[0];
    await sleep(3000);
    const rate = ((await frames(page))[0] - before) / 3;
    check(rate >= FPS * 0.6, `a single tile plays at the simulator's rate (${rate.toFixed(1)} of ${FPS} pictures a second)`);
    const delay = await page.evaluate(() => document.querySelector('.tile video').dataset.delay);
    console.log(`     delay shown: ${delay === undefined ? 'none' : delay + ' ms'}`);

    // The recorder killed and started again on its port: pictures come back
    // without a reload.
    await stop(h264.child);
    const stalled = await until('stall', async () => {
      const text = await page.locator('.tile .state').first().textContent();
      const playing = await page.locator('.tile.playing').count();
      return playing === 0 ? text : null;
    });
    check(['Reconnecting', 'Recorder unreachable', 'Connecting'].includes(stalled),
      `a tile without pictures says the recorder's state (${stalled})`);
    await simulator(h264.port, ['--model-code', '51', '--size', '352x288']);
    const resumed = (await frames(page))[0];
    const back = await until('pictures back', async () => (await frames(page))[0] > resumed + 10, 40000);
    check(Boolean(back), 'pictures come back after the recorder returns, without a reload');

    // An MPEG-4 recorder plays transcoded.
    await page.locator('#recorder').selectOption('yard');
    const transcoded = await until('transcoded', async () => {
      const shown = await frames(page);
      const badges = await page.locator('.tile .transcoded:not([hidden])').count();
      return shown.length === 4 && shown.every((n) => n > 5) && badges === 4;
    }, 30000);
    check(Boolean(transcoded), 'the MPEG-4 channels play, each tile saying "transcoded"');
    const mpegColours = await tileColours(page);
    check(mpegColours.every((c, i) => near(c, COLOURS[i])), `the transcoded channels show their colours (${JSON.stringify(mpegColours)})`);

    // A phone-sized screen shows the tiles in a scrolling grid.
    await page.setViewportSize({ width: 390, height: 800 });
    const width = await page.locator('.tile').first().evaluate((t) => t.getBoundingClientRect().width);
    check(width > 150 && width < 200, `on a phone-sized screen tiles are two across (${width} px wide)`);
    await page.screenshot({ path: path.join(screenshotDir, 'web_phone.png') });
  } finally {
    await browser.close();
  }
}

try {
  await main();
} catch (error) {
  console.log('FAIL', error.stack || error);
  failures++;
} finally {
  for (const child of children) await stop(child);
  fs.rmSync(scratch, { recursive: true, force: true });
}
console.log(failures === 0 ? 'all checks passed' : `${failures} checks failed`);
process.exit(failures === 0 ? 0 : 1);
