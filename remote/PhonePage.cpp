#include "remote/PhonePage.h"

namespace velmora::remote {

namespace {

// The code comes in the page's address (?code=) and goes on to the WebSocket the same way; every
// command goes over the WebSocket, which reconnects by itself when it drops.
constexpr char kPage[] = R"html(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Velmora音效遥控</title>
<style>
:root { color-scheme: dark; }
* { box-sizing: border-box; }
body { margin: 0; background: #150153; color: #fff; font: 15px/1.3 system-ui, "Microsoft YaHei", "PingFang SC", sans-serif; }
header { position: sticky; top: 0; z-index: 1; display: flex; flex-wrap: wrap; align-items: center; gap: 8px;
         padding: 8px; background: #5830e0; }
header button { min-width: 48px; min-height: 40px; border: 0; border-radius: 6px; background: #8080ff; color: #fff;
                font-size: 16px; }
header #stop { background: #d23c3c; min-width: 72px; }
#volume { min-width: 2.5em; text-align: center; }
#status { margin-left: auto; font-size: 13px; }
#status.off { color: #ffb4b4; }
nav { display: flex; flex-wrap: wrap; gap: 4px; padding: 8px 8px 0; }
nav button { flex: 1 1 6em; min-height: 40px; border: 0; border-radius: 6px 6px 0 0; background: #2c1a78; color: #fff;
             font-size: 15px; }
nav button.current { background: #8080ff; }
#grid { display: grid; grid-template-columns: repeat(auto-fill, minmax(96px, 1fr)); gap: 6px; padding: 8px; }
.slot { min-height: 56px; padding: 4px; border: 3px solid transparent; border-radius: 6px; color: #fff;
        font-size: 15px; overflow-wrap: anywhere; }
.slot.empty { opacity: .45; }
.slot.last { border-color: #ffd400; }
.slot.playing.last { box-shadow: 0 0 10px #ffd400; }
</style>
</head>
<body>
<header>
<button id="stop" type="button">停止</button>
<span>音量</span>
<button id="down" type="button" aria-label="音量减">－</button>
<span id="volume">--</span>
<button id="up" type="button" aria-label="音量加">＋</button>
<span id="status" class="off">未连接</span>
</header>
<nav id="tabs"></nav>
<main id="grid"></main>
<script>
"use strict";
const code = new URLSearchParams(location.search).get("code") || "";
const byId = (id) => document.getElementById(id);
let socket = null;
let retryMs = 500;
let nextId = 1;
let page = 1;
let pages = [];
let slots = [];
let state = null;

function send(message) {
  if (!socket || socket.readyState !== WebSocket.OPEN) return false;
  message.id = nextId++;
  socket.send(JSON.stringify(message));
  return true;
}

function showStatus(connected) {
  const status = byId("status");
  status.textContent = connected ? "已连接" : "未连接";
  status.className = connected ? "" : "off";
}

function renderTabs() {
  const tabs = byId("tabs");
  tabs.replaceChildren();
  for (const p of pages) {
    const tab = document.createElement("button");
    tab.type = "button";
    tab.textContent = p.name;
    tab.className = p.category === page ? "current" : "";
    tab.addEventListener("click", () => { page = p.category; renderTabs(); renderGrid(); });
    tabs.appendChild(tab);
  }
}

function renderGrid() {
  const grid = byId("grid");
  grid.replaceChildren();
  for (const slot of slots) {
    if (slot.category !== page) continue;
    const button = document.createElement("button");
    button.type = "button";
    button.className = "slot" + (slot.file ? "" : " empty");
    button.dataset.category = slot.category;
    button.dataset.index = slot.index;
    button.style.background = slot.colour;
    button.textContent = slot.caption;
    if (slot.hotkey) button.title = slot.hotkey;
    button.addEventListener("click", () => send({ cmd: "play", category: slot.category, index: slot.index }));
    grid.appendChild(button);
  }
  renderState();
}

function renderState() {
  byId("volume").textContent = state ? String(state.volume) : "--";
  const last = state && state.last;
  for (const button of byId("grid").children) {
    const isLast = !!last && Number(button.dataset.category) === last.category &&
                   Number(button.dataset.index) === last.index;
    button.classList.toggle("last", isLast);
    button.classList.toggle("playing", isLast && state.playing);
  }
}

function handle(message) {
  if (message.event) {
    state = message.state;
    renderState();
    if (message.event === "captions") send({ cmd: "slots" });
    return;
  }
  if (!message.ok) return;
  if (message.reply === "slots") {
    pages = message.pages;
    slots = message.slots;
    renderTabs();
    renderGrid();
  } else if (message.reply === "state") {
    state = message;
    renderState();
  } else if (message.state) {
    state = message.state;
    renderState();
  }
}

function connect() {
  const scheme = location.protocol === "https:" ? "wss:" : "ws:";
  socket = new WebSocket(scheme + "//" + location.host + "/api/events?code=" + encodeURIComponent(code));
  socket.onopen = () => {
    retryMs = 500;
    showStatus(true);
    send({ cmd: "slots" });
    send({ cmd: "state" });
  };
  socket.onmessage = (e) => {
    let message;
    try { message = JSON.parse(e.data); } catch (err) { return; }
    handle(message);
  };
  socket.onclose = () => {
    showStatus(false);
    socket = null;
    setTimeout(connect, retryMs);
    retryMs = Math.min(retryMs * 2, 5000);
  };
}

byId("stop").addEventListener("click", () => send({ cmd: "stop" }));
byId("down").addEventListener("click", () => send({ cmd: "volume", step: -10 }));
byId("up").addEventListener("click", () => send({ cmd: "volume", step: 10 }));
connect();
</script>
</body>
</html>
)html";

}  // namespace

const std::string& PhonePageHtml() {
  static const std::string page(kPage);
  return page;
}

}  // namespace velmora::remote
