// The Kalvo message page: log in, list the calls, play, mark, delete, block or allow, live updates.
'use strict';

const state = { csrf: '', calls: [], events: null, shown: 50 };
const $ = (id) => document.getElementById(id);

async function api(method, path, body, type) {
  const headers = {};
  if (method !== 'GET') headers['X-CSRF-Token'] = state.csrf;
  if (type) headers['Content-Type'] = type;
  const response = await fetch(path, { method, headers, body, credentials: 'same-origin' });
  if (response.status === 401 && path !== '/login') { showLogin(); throw new Error('log in first'); }
  const data = response.status === 204 ? {} : await response.json().catch(() => ({}));
  if (!response.ok) throw new Error(data.error || response.statusText);
  return data;
}

function say(text) { $('status').textContent = text; }

function showLogin() {
  if (state.events) { state.events.close(); state.events = null; }
  $('callsView').hidden = true; $('logout').hidden = true; $('newCount').hidden = true;
  $('loginForm').hidden = false; $('password').focus();
}

async function showCalls() {
  $('loginForm').hidden = true; $('callsView').hidden = false; $('logout').hidden = false;
  await loadCalls();
  if (!state.events) {
    state.events = new EventSource('/api/events');
    state.events.addEventListener('calls', () => loadCalls().catch((e) => say(e.message)));
  }
}

async function loadCalls() {
  const data = await api('GET', '/api/calls?limit=' + state.shown);
  state.calls = data.calls;
  render(data);
}

async function loadOlder() {
  const last = state.calls[state.calls.length - 1];
  if (!last) return;
  const data = await api('GET', '/api/calls?limit=50&before=' + last.id);
  state.calls = state.calls.concat(data.calls);
  state.shown = state.calls.length;
  render(data);
}

function render(data) {
  // Rows are kept and updated in place, so a message that plays goes on playing.
  const list = $('calls');
  const existing = new Map([...list.children].map((item) => [item.dataset.id, item]));
  const wanted = new Set(state.calls.map((call) => String(call.id)));
  for (const [id, item] of existing) if (!wanted.has(id)) item.remove();
  let cursor = list.firstElementChild;
  for (const call of state.calls) {
    const item = existing.get(String(call.id)) || row(call);
    fill(item, call);
    if (item === cursor) cursor = cursor.nextElementSibling;
    else list.insertBefore(item, cursor);
  }
  const badge = $('newCount');
  badge.textContent = data.unread + ' new';
  badge.hidden = !data.unread;
  say(data.total === 0 ? 'No calls yet.' : data.total + (data.total === 1 ? ' call' : ' calls'));
  $('more').hidden = state.calls.length >= data.total;
}

function fill(item, call) {
  item.call = call;
  item.classList.toggle('unread', !call.read);
  item.querySelector('.name').textContent = call.name;
  item.querySelector('.number').textContent = call.number;
  item.querySelector('.date').textContent = call.date;
  item.querySelector('.time').textContent = call.time;
  item.querySelector('.length').textContent = call.hasMessage ? call.length + ' s' : 'no message';
  item.querySelector('.play').hidden = !call.hasMessage;
  item.querySelector('.mark').textContent = call.read ? 'Mark unread' : 'Mark read';
}

function row(first) {
  const item = $('callTemplate').content.firstElementChild.cloneNode(true);
  item.dataset.id = first.id;
  const audio = item.querySelector('audio');
  item.querySelector('.play').addEventListener('click', () => {
    if (!audio.src) audio.src = '/api/calls/' + item.call.id + '/audio';
    audio.hidden = false;
    audio.play().catch((e) => say('Cannot play: ' + e.message));
  });
  // Playing marks the call read, as at the desk.
  audio.addEventListener('playing', () => { if (!item.call.read) mark(item.call, true); });
  item.querySelector('.mark').addEventListener('click', () => mark(item.call, !item.call.read));
  item.querySelector('.block').addEventListener('click', () => rule(item.call, 'block'));
  item.querySelector('.allow').addEventListener('click', () => rule(item.call, 'allow'));
  item.querySelector('.delete').addEventListener('click', () => remove(item.call));
  return item;
}

async function mark(call, read) {
  try {
    await api('POST', '/api/calls/' + call.id + (read ? '/read' : '/unread'));
    await loadCalls();
  } catch (e) { say(e.message); }
}

async function rule(call, kind) {
  try {
    await api('POST', '/api/rules', JSON.stringify({ call: call.id, kind }), 'application/json');
    say((kind === 'block' ? 'Blocked ' : 'Allowed ') + (call.number || call.name) + '.');
  } catch (e) { say(e.message); }
}

async function remove(call) {
  if (!window.confirm('Delete the call from ' + (call.name || call.number) + ' and its message?')) return;
  try {
    await api('DELETE', '/api/calls/' + call.id);
    await loadCalls();
  } catch (e) { say(e.message); }
}

document.addEventListener('DOMContentLoaded', () => {
  $('loginForm').addEventListener('submit', async (event) => {
    event.preventDefault();
    $('loginError').textContent = '';
    try {
      const body = new URLSearchParams({ password: $('password').value });
      const data = await api('POST', '/login', body.toString(), 'application/x-www-form-urlencoded');
      state.csrf = data.csrf;
      $('password').value = '';
      await showCalls();
    } catch (e) { $('loginError').textContent = e.message; }
  });
  $('logout').addEventListener('click', async () => {
    await api('POST', '/logout').catch(() => {});
    showLogin();
  });
  $('more').addEventListener('click', () => loadOlder().catch((e) => say(e.message)));
  fetch('/api/session', { credentials: 'same-origin' })
    .then((r) => (r.ok ? r.json() : Promise.reject(new Error('log in'))))
    .then((data) => { state.csrf = data.csrf; return showCalls(); })
    .catch(() => showLogin());
});
