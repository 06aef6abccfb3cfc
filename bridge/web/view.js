'use strict';

// The bridge's recorders in a grid of 1, 4, 9 or 16 tiles, each playing one
// camera over WebRTC. The paths and their recorders' states come from
// /paths every two seconds; a tile without pictures says its recorder's
// state in words.

const STATE_WORDS = {
  idle: 'Connecting',
  connecting: 'Connecting',
  streaming: 'Starting',
  reconnecting: 'Reconnecting',
  refused: 'Login refused',
  unreachable: 'Recorder unreachable',
};

const view = {
  paths: [],       // from /paths: the cameras of each recorder, by channel
  cameras: {},     // by recorder, 0 before it told
  recorder: null,  // the recorder shown
  tiles: 4,
  alone: null,     // the path shown alone, or null
  shown: new Map(),  // path -> tile
};

const grid = document.getElementById('grid');
const recorderList = document.getElementById('recorder');
const message = document.getElementById('message');

function pathsOf(recorder) {
  return view.paths.filter((p) => p.recorder === recorder);
}

function cameraName(path) {
  return path.recorder + ' camera ' + path.channel;
}

function makeTile(path) {
  const tile = document.getElementById('tile').content.firstElementChild.cloneNode(true);
  const video = tile.querySelector('video');
  const delay = tile.querySelector('.delay');
  tile.dataset.path = path.path;
  tile.querySelector('.name').textContent = cameraName(path);
  let frames = 0;
  const player = new WhepPlayer(video, path.path, {
    picture(metadata) {
      video.dataset.frames = String(++frames);
      tile.classList.add('playing');
      // The delay from the bridge's capture time (RTCP sender reports) to
      // the picture's display, where the browser tells both.
      if (metadata.captureTime !== undefined && metadata.expectedDisplayTime !== undefined) {
        const ms = Math.max(0, Math.round(metadata.expectedDisplayTime - metadata.captureTime));
        video.dataset.delay = String(ms);
        delay.textContent = ms + ' ms';
      }
    },
    failed(why) {
      tile.classList.remove('playing');
      tile.title = why;
    },
    transcoded(yes) {
      tile.querySelector('.transcoded').hidden = !yes;
    },
  });
  tile.player = player;
  tile.addEventListener('click', (event) => {
    if (event.target.closest('button')) return;
    view.alone = view.alone === path.path ? null : path.path;
    layout();
  });
  tile.querySelector('.snapshot').addEventListener('click', () => snapshot(video, path));
  tile.querySelector('.fullscreen').addEventListener('click', () => {
    if (document.fullscreenElement) document.exitFullscreen();
    else if (tile.requestFullscreen) tile.requestFullscreen();
  });
  player.start();
  return tile;
}

function snapshot(video, path) {
  if (!video.videoWidth) return;
  const canvas = document.createElement('canvas');
  canvas.width = video.videoWidth;
  canvas.height = video.videoHeight;
  canvas.getContext('2d').drawImage(video, 0, 0);
  canvas.toBlob((blob) => {
    const link = document.createElement('a');
    link.href = URL.createObjectURL(blob);
    link.download = path.recorder + '-camera-' + path.channel + '.png';
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 10000);
  }, 'image/png');
}

// The tiles the layout wants; players of tiles that leave stop.
function layout() {
  const all = pathsOf(view.recorder);
  const wanted = view.alone ? all.filter((p) => p.path === view.alone) : all.slice(0, view.tiles);
  const keep = new Set(wanted.map((p) => p.path));
  for (const [path, tile] of view.shown) {
    if (keep.has(path)) continue;
    tile.player.stop();
    tile.remove();
    view.shown.delete(path);
  }
  for (const path of wanted) {
    if (!view.shown.has(path.path)) view.shown.set(path.path, makeTile(path));
    grid.appendChild(view.shown.get(path.path));
  }
  const n = view.alone ? 1 : view.tiles;
  grid.className = 'n' + n;
  for (const button of document.querySelectorAll('[data-tiles]')) {
    button.setAttribute('aria-pressed', String(!view.alone && Number(button.dataset.tiles) === view.tiles));
  }
  showStates();
}

// A tile shows its state whenever its pictures stop.
setInterval(() => {
  for (const tile of view.shown.values()) tile.classList.toggle('playing', tile.player.playing());
}, 500);

function showStates() {
  for (const path of view.paths) {
    const tile = view.shown.get(path.path);
    if (!tile) continue;
    const state = tile.querySelector('.state');
    const words = STATE_WORDS[path.state] || path.state;
    state.textContent = words;
    state.title = path.words;
  }
}

function listRecorders() {
  const names = [...new Set(view.paths.map((p) => p.recorder))];
  // The count only once the recorder told it: before, every mounted channel
  // is listed and the count would be wrong.
  const labels = names.map((name) => (view.cameras[name] > 0 ? name + ' (' + view.cameras[name] + ' cameras)' : name));
  if (labels.join('\n') !== [...recorderList.options].map((o) => o.textContent).join('\n')) {
    recorderList.replaceChildren(...names.map((name, i) => {
      const option = document.createElement('option');
      option.value = name;
      option.textContent = labels[i];
      return option;
    }));
  }
  if (!names.includes(view.recorder)) view.recorder = names[0] || null;
  recorderList.value = view.recorder || '';
}

async function refresh() {
  try {
    const reply = await fetch('/paths', { cache: 'no-store' });
    if (!reply.ok) throw new Error('HTTP ' + reply.status);
    const before = view.paths.map((p) => p.path).join(' ');
    const status = await reply.json();
    view.cameras = Object.fromEntries(status.recorders.map((r) => [r.name, r.cameras]));
    // Channels beyond a recorder's cameras are left out once it told how
    // many it has.
    view.paths = status.paths
      .filter((p) => !(view.cameras[p.recorder] > 0) || p.channel <= view.cameras[p.recorder])
      .sort((a, b) => (a.recorder === b.recorder ? a.channel - b.channel : 0));
    message.textContent = '';
    listRecorders();
    if (view.paths.map((p) => p.path).join(' ') !== before) layout();
    else showStates();
  } catch (error) {
    message.textContent = 'The bridge cannot be reached; trying again';
  }
}

for (const button of document.querySelectorAll('[data-tiles]')) {
  button.addEventListener('click', () => {
    view.tiles = Number(button.dataset.tiles);
    view.alone = null;
    layout();
  });
}
recorderList.addEventListener('change', () => {
  view.recorder = recorderList.value;
  view.alone = null;
  layout();
});
window.addEventListener('pagehide', () => {
  for (const tile of view.shown.values()) tile.player.stop();
});

refresh();
setInterval(refresh, 2000);
