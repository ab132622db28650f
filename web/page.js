// SPDX-FileCopyrightText: 2026 Tollybrook developers
// SPDX-License-Identifier: MIT
// The page around the game: the canvas at a whole-number scale, full screen,
// the keys, the mouse and the fingers queued for the game's next tick
// (src/gfx_web.cpp takes them as Allegro's drivers), the small controls for
// a player without keys, the page's visibility, the note when the game has
// ended, and the service worker that keeps the page for playing offline.
'use strict';

const frame = document.getElementById('frame');

// The kinds of queued events (src/gfx_web.cpp says the same).
const KEY_DOWN = 1, KEY_UP = 2, MOUSE = 3, PAGE_HIDDEN = 4, PAGE_SHOWN = 5;

var Module = {
  canvas: frame,
  inputQueue: [],
  // The game's messages are notes for the curious, not the page's errors.
  print: (text) => console.log(text),
  printErr: (text) => console.log(text),
  onExit: () => gameEnded(),
  onAbort: () => gameEnded('The game stopped unexpectedly.'),
};

// ---------------------------------------------------------------- the frame

// The largest whole-number scale at which the frame fits the window, sharp;
// a window smaller than the frame (a phone) gets it fitted smoothly.
function fitFrame() {
  const fits = Math.min(window.innerWidth / frame.width, window.innerHeight / frame.height);
  const scale = fits >= 1 ? Math.floor(fits) : fits;
  frame.classList.toggle('smooth', fits < 1);
  frame.style.width = frame.width * scale + 'px';
  frame.style.height = frame.height * scale + 'px';
  const roomBeside = window.innerWidth - frame.width * scale;
  const roomBelow = window.innerHeight - frame.height * scale;
  document.getElementById('controls').classList.toggle('side', roomBeside > roomBelow);
}
window.addEventListener('resize', fitFrame);
fitFrame();
// The game may size the canvas itself; it is fitted again then. The frames
// are counted, and the first one's time kept, for the page's benchmarks.
let fittedWidth = frame.width;
Module.frames = 0;
Module.onFrame = () => {
  if (Module.frames++ === 0) Module.firstFrameMs = performance.now();
  if (frame.width === fittedWidth) return;
  fittedWidth = frame.width;
  fitFrame();
};

function switchFullscreen() {
  if (document.fullscreenElement) document.exitFullscreen();
  else document.documentElement.requestFullscreen().catch(() => {});
}
// The page's small controls do what the keys do, for a player without a
// keyboard: the game takes them as those keys.
function pressKey(scancode, character) {
  Module.inputQueue.push([KEY_DOWN, scancode, character, 0], [KEY_UP, scancode, 0, 0]);
}
const controls = { pause: () => pressKey(16, 112), help: () => pressKey(47, 0),
  sound: () => pressKey(13, 109), fullscreen: switchFullscreen };
for (const [id, act] of Object.entries(controls)) {
  document.getElementById(id).addEventListener('click', () => {
    resumeSound();
    act();
    frame.focus();
  });
}

// ---------------------------------------------------------------- keys

// Allegro's key numbers for the keys the game can use (KEY_* in allegro/keyboard.h).
const scancodes = { Escape: 59, F1: 47, F2: 48, F3: 49, F4: 50, F6: 52, F7: 53, F8: 54,
  F9: 55, F10: 56, Minus: 61, Equal: 62, Backspace: 63, Tab: 64, BracketLeft: 65,
  BracketRight: 66, Enter: 67, Semicolon: 68, Quote: 69, Backslash: 70, Comma: 72,
  Period: 73, Slash: 74, Space: 75, Insert: 76, Delete: 77, Home: 78, End: 79, PageUp: 80,
  PageDown: 81, ArrowLeft: 82, ArrowRight: 83, ArrowUp: 84, ArrowDown: 85, NumpadDivide: 86,
  NumpadMultiply: 87, NumpadSubtract: 88, NumpadAdd: 89, NumpadDecimal: 90, NumpadEnter: 91,
  Pause: 93, ShiftLeft: 115, ShiftRight: 116, ControlLeft: 117, ControlRight: 118,
  AltLeft: 119, AltRight: 120 };
for (let i = 0; i < 26; i++) scancodes['Key' + String.fromCharCode(65 + i)] = 1 + i;
for (let i = 0; i < 10; i++) {
  scancodes['Digit' + i] = 27 + i;
  scancodes['Numpad' + i] = 37 + i;
}
// The character a key gives, as Allegro's keyboard buffer holds it.
const characters = { Enter: 13, NumpadEnter: 13, Escape: 27, Backspace: 8, Tab: 9 };

function characterOf(event) {
  if (event.code in characters) return characters[event.code];
  return event.key.length === 1 ? event.key.charCodeAt(0) : 0;
}

// F11 and Alt+Enter switch full screen in the page, as on the desktop.
function isFullscreenKey(event) {
  return event.code === 'F11' || (event.altKey && event.code === 'Enter');
}

// The browser's own shortcuts (with Ctrl or the system key) stay the browser's.
function forTheGame(event) {
  return event.code in scancodes && !event.ctrlKey && !event.metaKey;
}

window.addEventListener('keydown', (event) => {
  resumeSound();
  if (isFullscreenKey(event)) {
    event.preventDefault();
    if (!event.repeat) switchFullscreen();
    return;
  }
  if (!forTheGame(event)) return;
  event.preventDefault();
  Module.inputQueue.push([KEY_DOWN, scancodes[event.code], characterOf(event), 0]);
});
window.addEventListener('keyup', (event) => {
  if (!(event.code in scancodes)) return;
  event.preventDefault();
  Module.inputQueue.push([KEY_UP, scancodes[event.code], 0, 0]);
});

// ---------------------------------------------------------------- mouse

// The pointer in frame pixels, through the canvas's scale on the page.
function queueMouse(event) {
  const box = frame.getBoundingClientRect();
  const x = Math.floor((event.clientX - box.left) * frame.width / box.width);
  const y = Math.floor((event.clientY - box.top) * frame.height / box.height);
  Module.inputQueue.push([MOUSE, Math.min(Math.max(x, 0), frame.width - 1),
    Math.min(Math.max(y, 0), frame.height - 1), event.buttons & 7]);
}
frame.addEventListener('mousedown', (event) => {
  resumeSound();
  event.preventDefault();
  frame.focus();
  queueMouse(event);
});
window.addEventListener('mouseup', queueMouse);
window.addEventListener('mousemove', queueMouse);
frame.addEventListener('contextmenu', (event) => event.preventDefault());

// ---------------------------------------------------------------- touch

// A tap is a click where the finger lands: pressed as it touches, let go as
// it lifts. The page neither scrolls nor zooms under the fingers, and a
// finger held down opens no menu (the browser's own mouse events for a tap
// are not made either).
function queueTouch(event, buttons) {
  event.preventDefault();
  const touch = event.changedTouches[0];
  queueMouse({ clientX: touch.clientX, clientY: touch.clientY, buttons: buttons });
}
frame.addEventListener('touchstart', (event) => {
  resumeSound();
  frame.focus();
  queueTouch(event, 1);
}, { passive: false });
frame.addEventListener('touchmove', (event) => queueTouch(event, 1), { passive: false });
for (const kind of ['touchend', 'touchcancel']) {
  frame.addEventListener(kind, (event) => {
    queueTouch(event, 0);
    resumeSound();
  }, { passive: false });
}

// ---------------------------------------------------------------- sound

// Browsers start the page's sound only after a key or a click: the sound
// is made then (the game mixes its effects only while it runs). The tune is
// the recording of the game's MIDI tune (tune.ogg), looped; the game's MIDI
// driver says when it plays, from where, and how loud (src/platform_sound_web.cpp).
const tune = { buffer: null, source: null, gain: null, startedAt: 0, offset: 0,
  playing: false, volume: 1 };

function resumeSound() {
  // Not every key lets a page start its sound (Escape does not).
  if (navigator.userActivation && !navigator.userActivation.isActive) return;
  if (!Module.audio) {
    Module.audio = new AudioContext();
    tune.gain = Module.audio.createGain();
    tune.gain.connect(Module.audio.destination);
    fetch('tune.ogg').then((r) => r.arrayBuffer())
      .then((bytes) => Module.audio.decodeAudioData(bytes))
      .then((buffer) => {
        tune.buffer = buffer;
        if (tune.playing) startTune();
      })
      .catch((error) => console.log('Tollybrook: no tune', error));
  }
  if (Module.audio.state === 'suspended') Module.audio.resume();
}

function startTune() {
  if (!tune.buffer || tune.source) return;
  tune.source = Module.audio.createBufferSource();
  tune.source.buffer = tune.buffer;
  tune.source.loop = true;
  tune.source.connect(tune.gain);
  tune.source.start(0, tune.offset % tune.buffer.duration);
  tune.startedAt = Module.audio.currentTime - tune.offset;
}

function stopTune() {
  if (!tune.source) return;
  tune.offset = Module.audio.currentTime - tune.startedAt;
  tune.source.stop();
  tune.source = null;
}

Module.tune = (playing, fromStart, volume) => {
  tune.playing = !!playing;
  if (fromStart) tune.offset = 0;
  if (tune.gain) tune.gain.gain.value = volume;
  if (!Module.audio) return;
  if (playing) startTune();
  else stopTune();
};

// ---------------------------------------------------------------- the page

// A hidden page pauses the game as a window losing the focus does, and the
// table is saved then and when the page goes away: it may not come back.
function pageLeaving() {
  if (Module.calledRun && !Module.ended && Module._platform_web_page_leaving)
    Module._platform_web_page_leaving();
}
document.addEventListener('visibilitychange', () => {
  Module.inputQueue.push([document.hidden ? PAGE_HIDDEN : PAGE_SHOWN, 0, 0, 0]);
  if (document.hidden) pageLeaving();
});
window.addEventListener('pagehide', pageLeaving);

function gameEnded(why) {
  Module.ended = true;
  if (why) document.getElementById('ended-text').textContent = why;
  document.getElementById('ended').hidden = false;
  document.getElementById('again').focus();
}
document.getElementById('again').addEventListener('click', () => location.reload());
frame.focus();

// After one visit the page plays offline (web/sw.js); served from a file or
// where the browser keeps no workers, it plays online only.
if ('serviceWorker' in navigator && window.isSecureContext) {
  navigator.serviceWorker.register('sw.js')
    .catch((error) => console.log('Tollybrook: not kept for playing offline', error));
}
