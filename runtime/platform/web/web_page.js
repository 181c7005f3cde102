// The page side of the browser backend, run before the program starts (emcc --pre-js): the
// program's files in the browser's store (IDBFS under /tarnwood/Files, seeded from the shipped
// settings file on the first visit), the canvas the frames are put on, the queue of key and mouse
// events, the WebAudio output that pulls from the mixer, the message box, and the page's end.
// Relies on: emscripten's runtime (FS, IDBFS, HEAP*, addRunDependency) and index.html (#screen,
// #dialog, #notice, #ended).

Module.tarnwoodPage = {
  reloadAtEnd: false,
  // Blocks the program (it awaits this) until the player presses OK.
  messageBox: function (caption, text) {
    return new Promise(function (resolve) {
      var dialog = document.getElementById('dialog');
      dialog.querySelector('.caption').textContent = caption;
      dialog.querySelector('.text').textContent = text;
      var ok = dialog.querySelector('button');
      dialog.style.display = 'flex';
      ok.focus();
      ok.onclick = function () {
        dialog.style.display = 'none';
        resolve(1);
      };
    });
  },
  notice: function (text) {
    var notice = document.getElementById('notice');
    notice.textContent = text;
    notice.style.display = 'block';
    setTimeout(function () { notice.style.display = 'none'; }, 8000);
  },
  end: async function (exitCode) {
    await Module.tarnwoodStorage.flush();
    Module.tarnwoodPage.ended = true;
    Module.tarnwoodPage.exitCode = exitCode;
    if (Module.tarnwoodPage.reloadAtEnd) {
      location.reload();
      return;
    }
    Module.tarnwoodAudio.close();
    document.getElementById('screen').style.display = 'none';
    document.getElementById('ended').style.display = 'flex';
    if (document.pointerLockElement) document.exitPointerLock();
    if (document.fullscreenElement) document.exitFullscreen().catch(function () {});
  },
};

// --- files -------------------------------------------------------------------------------------
Module.tarnwoodStorage = {
  usable: true,  // false once the store refused: the files then live for this visit only
  told: false,
  pending: Promise.resolve(1),
  refused: function () {
    Module.tarnwoodStorage.usable = false;
    if (Module.tarnwoodStorage.told) return;
    Module.tarnwoodStorage.told = true;
    Module.tarnwoodPage.notice('Einstellungen können in diesem Browser nicht gespeichert werden. / ' +
                               'Settings cannot be saved in this browser.');
  },
  // Writes every change of the files to the store; resolves to 1 when it is there, or when the
  // store cannot be used (the player has been told).
  flush: function () {
    var storage = Module.tarnwoodStorage;
    storage.pending = storage.pending.then(function () {
      if (!storage.usable) return 1;
      return new Promise(function (resolve) {
        try {
          FS.syncfs(false, function (error) {
            if (error) storage.refused();
            resolve(1);
          });
        } catch (e) {
          storage.refused();
          resolve(1);
        }
      });
    });
    return storage.pending;
  },
  commit: async function (path) {
    var result = await Module.tarnwoodStorage.flush();
    if (/\/Screenshots\/[^\/]*\.png$/i.test(path)) Module.tarnwoodStorage.offerDownload(path);
    return result;
  },
  // A screenshot is also handed to the player as a download.
  offerDownload: function (path) {
    try {
      var bytes = FS.readFile(path);
      var url = URL.createObjectURL(new Blob([bytes], { type: 'image/png' }));
      var link = document.createElement('a');
      link.href = url;
      link.download = path.substring(path.lastIndexOf('/') + 1);
      document.body.appendChild(link);
      link.click();
      link.remove();
      setTimeout(function () { URL.revokeObjectURL(url); }, 10000);
    } catch (e) {
    }
  },
};

Module.preRun = Module.preRun || [];
Module.preRun.push(function () {
  FS.mkdir('/tarnwood');
  FS.mkdir('/tarnwood/Files');
  FS.chdir('/tarnwood');
  // The shipped settings file on the first visit (or after the store was cleared), once the
  // store's files are in and the embedded files made (they come after this function): just
  // before the program starts.
  __ATMAIN__.push(function () {
    try { FS.stat('/tarnwood/Files/Tarnwood.cfg'); } catch (e) {
      FS.writeFile('/tarnwood/Files/Tarnwood.cfg', FS.readFile('/shipped/Tarnwood.cfg'));
    }
    try { FS.mkdir('/tarnwood/Files/Screenshots'); } catch (e) {}
  });
  try {
    FS.mount(IDBFS, {}, '/tarnwood/Files');
  } catch (e) {
    Module.tarnwoodStorage.refused();
    return;
  }
  addRunDependency('tarnwood-files');
  var done = function () { removeRunDependency('tarnwood-files'); };
  try {
    FS.syncfs(true, function (error) {
      if (error) Module.tarnwoodStorage.refused();
      done();
    });
  } catch (e) {
    Module.tarnwoodStorage.refused();
    done();
  }
});

// --- screen ------------------------------------------------------------------------------------
Module.tarnwoodVideo = {
  canvas: null,
  context: null,
  events: [],
  frameTimes: [],  // when each of the last presents was done (performance.now), for measurements
  firstFrameAt: 0,
  open: function (width, height) {
    var canvas = document.getElementById('screen');
    canvas.width = width;
    canvas.height = height;
    canvas.style.display = 'block';
    this.canvas = canvas;
    this.context = canvas.getContext('2d', { alpha: false });
    return this.context ? 1 : 0;
  },
  close: function () {
    this.context = null;
  },
  put: function (rgba, width, height, first, count) {
    if (!this.context) return;
    var image = new ImageData(new Uint8ClampedArray(HEAPU8.buffer, rgba, width * height * 4), width, height);
    this.context.putImageData(image, 0, 0, 0, first, width, count);
    if (!this.firstFrameAt) this.firstFrameAt = performance.now();
  },
  nextFrame: function () {
    var video = this;
    return new Promise(function (resolve) {
      requestAnimationFrame(function () {
        var times = video.frameTimes;
        times.push(performance.now());
        if (times.length > 1200) times.splice(0, times.length - 1200);
        resolve();
      });
    });
  },
  showCursor: function (shown) {
    document.getElementById('screen').style.cursor = shown ? 'default' : 'none';
  },
  takeEvent: function () {
    return this.events.length ? this.events.shift() : 0;
  },
};
document.addEventListener('visibilitychange', function () {
  // Video event kinds: 1 focus gained, 2 focus lost.
  Module.tarnwoodVideo.events.push(document.hidden ? 2 : 1);
  Module.tarnwoodAudio.visible(!document.hidden);
});

// --- keys and mouse -----------------------------------------------------------------------------
// KeyboardEvent.code -> DirectInput scan code.
var tarnwoodScanCodes = {
  Escape: 0x01, Digit1: 0x02, Digit2: 0x03, Digit3: 0x04, Digit4: 0x05, Digit5: 0x06, Digit6: 0x07,
  Digit7: 0x08, Digit8: 0x09, Digit9: 0x0A, Digit0: 0x0B, Minus: 0x0C, Equal: 0x0D, Backspace: 0x0E,
  Tab: 0x0F, KeyQ: 0x10, KeyW: 0x11, KeyE: 0x12, KeyR: 0x13, KeyT: 0x14, KeyY: 0x15, KeyU: 0x16,
  KeyI: 0x17, KeyO: 0x18, KeyP: 0x19, BracketLeft: 0x1A, BracketRight: 0x1B, Enter: 0x1C,
  ControlLeft: 0x1D, KeyA: 0x1E, KeyS: 0x1F, KeyD: 0x20, KeyF: 0x21, KeyG: 0x22, KeyH: 0x23,
  KeyJ: 0x24, KeyK: 0x25, KeyL: 0x26, Semicolon: 0x27, Quote: 0x28, Backquote: 0x29,
  ShiftLeft: 0x2A, Backslash: 0x2B, KeyZ: 0x2C, KeyX: 0x2D, KeyC: 0x2E, KeyV: 0x2F, KeyB: 0x30,
  KeyN: 0x31, KeyM: 0x32, Comma: 0x33, Period: 0x34, Slash: 0x35, ShiftRight: 0x36,
  NumpadMultiply: 0x37, AltLeft: 0x38, Space: 0x39, CapsLock: 0x3A, F1: 0x3B, F2: 0x3C, F3: 0x3D,
  F4: 0x3E, F5: 0x3F, F6: 0x40, F7: 0x41, F8: 0x42, F9: 0x43, F10: 0x44, NumLock: 0x45,
  ScrollLock: 0x46, Numpad7: 0x47, Numpad8: 0x48, Numpad9: 0x49, NumpadSubtract: 0x4A, Numpad4: 0x4B,
  Numpad5: 0x4C, Numpad6: 0x4D, NumpadAdd: 0x4E, Numpad1: 0x4F, Numpad2: 0x50, Numpad3: 0x51,
  Numpad0: 0x52, NumpadDecimal: 0x53, IntlBackslash: 0x56, F11: 0x57, F12: 0x58,
  NumpadEnter: 0x9C, ControlRight: 0x9D, NumpadDivide: 0xB5, PrintScreen: 0xB7, AltRight: 0xB8,
  Pause: 0xC5, Home: 0xC7, ArrowUp: 0xC8, PageUp: 0xC9, ArrowLeft: 0xCB, ArrowRight: 0xCD,
  End: 0xCF, ArrowDown: 0xD0, PageDown: 0xD1, Insert: 0xD2, Delete: 0xD3, MetaLeft: 0xDB,
  MetaRight: 0xDC, ContextMenu: 0xDD,
};

Module.tarnwoodInput = {
  listening: false,
  queue: [],  // [kind, code, dx, dy, time]
  push: function (kind, code, dx, dy) {
    if (!this.listening) return;
    this.queue.push([kind, code, dx | 0, dy | 0, performance.now() >>> 0]);
    if (this.queue.length > 4096) this.queue.splice(0, this.queue.length - 4096);
  },
  listen: function (on) {
    this.listening = !!on;
    if (!on) this.queue = [];
  },
  // Writes up to `capacity` events as InputEvent records (16 bytes each) and returns how many.
  take: function (out, capacity) {
    var n = Math.min(capacity, this.queue.length);
    for (var i = 0; i < n; i++) {
      var e = this.queue[i], at = out + i * 16;
      HEAPU8[at] = e[0];
      HEAPU8[at + 1] = e[1];
      HEAP32[(at + 4) >> 2] = e[2];
      HEAP32[(at + 8) >> 2] = e[3];
      HEAPU32[(at + 12) >> 2] = e[4];
    }
    this.queue.splice(0, n);
    return n;
  },
};
(function () {
  // Input event kinds of input_driver.h.
  var KEY_DOWN = 0, KEY_UP = 1, MOTION = 2, WHEEL = 3, BUTTON_DOWN = 4, BUTTON_UP = 5;
  var input = Module.tarnwoodInput;
  var buttons = [0, 2, 1, 3];  // DOM button (0 left, 1 middle, 2 right, 3 back) -> DirectInput's
  var key = function (kind) {
    return function (e) {
      var code = tarnwoodScanCodes[e.code];
      if (code === undefined) return;
      // The browser keeps F11 (full screen) and a few shortcuts of its own; every other key of ours
      // is the game's.
      if (e.code !== 'F11') e.preventDefault();
      if (kind === KEY_DOWN && e.repeat) return;
      input.push(kind, code, 0, 0);
      Module.tarnwoodAudio.gesture();
    };
  };
  window.addEventListener('keydown', key(KEY_DOWN));
  window.addEventListener('keyup', key(KEY_UP));
  window.addEventListener('mousemove', function (e) {
    if (e.movementX || e.movementY) input.push(MOTION, 0, e.movementX, e.movementY);
  });
  window.addEventListener('mousedown', function (e) {
    if (e.button > 3) return;
    input.push(BUTTON_DOWN, buttons[e.button], 0, 0);
    Module.tarnwoodAudio.gesture();
    // The first click takes the page full screen and locks the pointer (the game draws its own and
    // reads relative motion); "?windowed" keeps the page as it is (embedded pages, tests).
    if (!document.pointerLockElement && !/[?&]windowed\b/.test(location.search) && !Module.tarnwoodPage.ended) {
      var canvas = document.getElementById('screen');
      if (canvas.requestFullscreen) canvas.parentElement.requestFullscreen().catch(function () {});
      if (canvas.requestPointerLock) {
        // A refused lock leaves motion to movementX/Y of the page's events.
        try {
          var locked = canvas.requestPointerLock();
          if (locked && locked.catch) locked.catch(function () {});
        } catch (err) {
        }
      }
    }
  });
  window.addEventListener('mouseup', function (e) {
    if (e.button <= 3) input.push(BUTTON_UP, buttons[e.button], 0, 0);
  });
  window.addEventListener('contextmenu', function (e) { e.preventDefault(); });
  window.addEventListener('wheel', function (e) {
    var notches = e.deltaY > 0 ? -1 : e.deltaY < 0 ? 1 : 0;
    if (notches) input.push(WHEEL, 0, notches * 120, 0);
    e.preventDefault();
  }, { passive: false });
})();

// --- sound -------------------------------------------------------------------------------------
Module.tarnwoodAudio = {
  context: null,
  processor: null,
  analysers: null,  // [left, right]: the tap on what is played (tests and measurements)
  open: function () {
    var Context = window.AudioContext || window.webkitAudioContext;
    if (!Context) return 0;
    try {
      var context = new Context({ sampleRate: 44100 });
      var processor = context.createScriptProcessor(2048, 0, 2);
      processor.onaudioprocess = function (e) {
        var left = e.outputBuffer.getChannelData(0), right = e.outputBuffer.getChannelData(1);
        var n = left.length;
        var at = Module._web_audio_pull(n) >> 1;
        for (var i = 0; i < n; i++) {
          left[i] = HEAP16[at + 2 * i] / 32768;
          right[i] = HEAP16[at + 2 * i + 1] / 32768;
        }
      };
      var splitter = context.createChannelSplitter(2);
      var analysers = [context.createAnalyser(), context.createAnalyser()];
      processor.connect(context.destination);
      processor.connect(splitter);
      for (var c = 0; c < 2; c++) {
        analysers[c].fftSize = 32768;
        splitter.connect(analysers[c], c);
      }
      this.context = context;
      this.processor = processor;
      this.analysers = analysers;
      if (document.hidden) context.suspend();
      return context.sampleRate | 0;
    } catch (e) {
      return 0;
    }
  },
  close: function () {
    if (!this.context) return;
    this.processor.onaudioprocess = null;
    this.processor.disconnect();
    this.context.close();
    this.context = null;
    this.processor = null;
    this.analysers = null;
  },
  // Browsers start sound on a gesture of the player's.
  gesture: function () {
    if (this.context && this.context.state === 'suspended' && !document.hidden) this.context.resume();
  },
  visible: function (shown) {
    if (!this.context) return;
    if (shown) this.context.resume();
    else this.context.suspend();
  },
};
