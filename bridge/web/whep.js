'use strict';

// Plays one of the bridge's paths ("/NAME/CH") in a video element over WHEP,
// and makes the connection again, after a pause that grows, when it fails
// or its pictures stop coming. The listener hears of each picture (with
// rVFC's metadata), of failures and of transcoding.
class WhepPlayer {
  static STALL_MS = 4000;
  static FIRST_PICTURE_MS = 8000;
  static MAX_PAUSE_MS = 15000;

  constructor(video, path, listener) {
    this.video = video;
    this.path = path;
    this.listener = listener;
    this.pause = 1000;
    this.pc = null;
    this.resource = null;
    this.lastPicture = 0;
    this.connectedAt = 0;
    this.stopped = true;
  }

  start() {
    this.stopped = false;
    this.watchPictures();
    this.stallTimer = setInterval(() => this.checkStall(), 1000);
    this.connect();
  }

  stop() {
    this.stopped = true;
    clearInterval(this.stallTimer);
    clearTimeout(this.retryTimer);
    this.close();
  }

  async connect() {
    this.close();
    const pc = new RTCPeerConnection();
    this.pc = pc;
    this.connectedAt = performance.now();
    pc.addTransceiver('video', { direction: 'recvonly' });
    pc.ontrack = (event) => {
      this.video.srcObject = event.streams[0] || new MediaStream([event.track]);
      this.video.play().catch(() => {});
    };
    pc.onconnectionstatechange = () => {
      if (pc === this.pc && (pc.connectionState === 'failed' || pc.connectionState === 'closed')) {
        this.retry('connection ' + pc.connectionState);
      }
    };
    try {
      await pc.setLocalDescription(await pc.createOffer());
      await iceGathered(pc, 2000);
      const reply = await fetch('/whep' + this.path, {
        method: 'POST', headers: { 'Content-Type': 'application/sdp' }, body: pc.localDescription.sdp,
      });
      const text = await reply.text();
      if (pc !== this.pc) return;
      if (reply.status !== 201) {
        this.retry(text.trim() || 'HTTP ' + reply.status, reply.status);
        return;
      }
      this.resource = reply.headers.get('Location');
      this.listener.transcoded(reply.headers.get('X-Orvix-Transcoded') === 'yes');
      await pc.setRemoteDescription({ type: 'answer', sdp: text });
    } catch (error) {
      if (pc === this.pc) this.retry(String(error));
    }
  }

  retry(why, status) {
    if (this.stopped) return;
    this.close();
    this.listener.failed(why, status);
    clearTimeout(this.retryTimer);
    this.retryTimer = setTimeout(() => this.connect(), this.pause);
    this.pause = Math.min(this.pause * 2, WhepPlayer.MAX_PAUSE_MS);
  }

  close() {
    if (this.pc) this.pc.close();
    this.pc = null;
    if (this.resource) fetch(this.resource, { method: 'DELETE', keepalive: true }).catch(() => {});
    this.resource = null;
  }

  watchPictures() {
    const video = this.video;
    if (!('requestVideoFrameCallback' in HTMLVideoElement.prototype)) {
      // Without rVFC: a moving playback time counts as pictures.
      let last = -1;
      setInterval(() => {
        if (video.currentTime !== last) this.picture({});
        last = video.currentTime;
      }, 250);
      return;
    }
    const next = (now, metadata) => {
      if (this.stopped) return;
      this.picture(metadata);
      video.requestVideoFrameCallback(next);
    };
    video.requestVideoFrameCallback(next);
  }

  picture(metadata) {
    this.lastPicture = performance.now();
    this.pause = 1000;
    this.listener.picture(metadata);
  }

  checkStall() {
    if (this.pc === null || this.stopped) return;
    const now = performance.now();
    const since = Math.max(this.lastPicture, this.connectedAt);
    const limit = this.lastPicture > this.connectedAt ? WhepPlayer.STALL_MS : WhepPlayer.FIRST_PICTURE_MS;
    if (now - since > limit) this.retry('no pictures');
  }

  playing() {
    return this.pc !== null && performance.now() - this.lastPicture < 1500;
  }
}

// The offer carries the browser's candidates: WHEP here has no trickle.
function iceGathered(pc, limitMs) {
  if (pc.iceGatheringState === 'complete') return Promise.resolve();
  return new Promise((resolve) => {
    const done = () => {
      if (pc.iceGatheringState === 'complete') resolve();
    };
    pc.addEventListener('icegatheringstatechange', done);
    setTimeout(resolve, limitMs);
  });
}
