// Holds WebRTC viewers of the bridge's paths open in headless Chromium for
// the WebRTC rows of bench/run.sh:
//   node bench/webrtc_viewers.mjs BASE_URL SECONDS PATH...
// Prints "playing N" once every viewer shows pictures (or after 60 s), then
// after SECONDS the median of rVFC's receive-to-display time and, where the
// browser tells the capture time, of capture to display, and exits.
import { createRequire } from 'node:module';

const require = createRequire(new URL('../tests/web/package.json', import.meta.url));
const { chromium } = require('playwright-core');
const [base, seconds, ...paths] = process.argv.slice(2);

const browser = await chromium.launch({
  executablePath: process.env.ORVIX_CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox', '--autoplay-policy=no-user-gesture-required'],
});
const page = await browser.newPage();
await page.goto(base + '/paths');
await page.evaluate(async (list) => {
  window.samples = { receive: [], capture: [], frames: [] };
  for (const [i, path] of list.entries()) {
    const video = document.createElement('video');
    video.muted = true;
    video.width = 64;
    document.body.appendChild(video);
    window.samples.frames[i] = 0;
    const pc = new RTCPeerConnection();
    pc.addTransceiver('video', { direction: 'recvonly' });
    pc.ontrack = (e) => { video.srcObject = e.streams[0] || new MediaStream([e.track]); video.play(); };
    await pc.setLocalDescription(await pc.createOffer());
    await new Promise((r) => { if (pc.iceGatheringState === 'complete') r(); pc.onicegatheringstatechange = () => pc.iceGatheringState === 'complete' && r(); setTimeout(r, 2000); });
    const reply = await fetch('/whep' + path, { method: 'POST', headers: { 'Content-Type': 'application/sdp' }, body: pc.localDescription.sdp });
    await pc.setRemoteDescription({ type: 'answer', sdp: await reply.text() });
    const next = (now, m) => {
      window.samples.frames[i]++;
      if (m.receiveTime !== undefined) window.samples.receive.push(m.expectedDisplayTime - m.receiveTime);
      if (m.captureTime !== undefined) window.samples.capture.push(m.expectedDisplayTime - m.captureTime);
      video.requestVideoFrameCallback(next);
    };
    video.requestVideoFrameCallback(next);
  }
}, paths);
const start = Date.now();
let playing = 0;
while (Date.now() - start < 60000) {
  playing = await page.evaluate(() => window.samples.frames.filter((n) => n > 0).length);
  if (playing === paths.length) break;
  await new Promise((r) => setTimeout(r, 250));
}
console.log(`playing ${playing}`);
await page.evaluate(() => { window.samples.receive = []; window.samples.capture = []; });
await new Promise((r) => setTimeout(r, Number(seconds) * 1000));
const { receive, capture } = await page.evaluate(() => window.samples);
const median = (v) => (v.length ? [...v].sort((a, b) => a - b)[Math.floor(v.length / 2)].toFixed(1) : 'none');
console.log(`receive-to-display ${median(receive)} capture-to-display ${median(capture)}`);
await browser.close();
