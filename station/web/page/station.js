// The station's page: the slots, totals and last records, kept live by the station's events.
// Every text from the station is set as text, never as markup: a unit's version or a file's
// name may hold anything.
'use strict';

(() => {
  const MAX_RECORDS = 50;
  const RECONNECT_MS = 3000;
  const byId = (id) => document.getElementById(id);

  let slots = [];
  let receivedAt = 0;  // performance.now() when `slots` came
  let records = [];    // oldest first
  let recordsSeen = 0; // the number of the last record shown
  let source = null;

  const succeeded = (result) => result === 'updated' || result === 'up_to_date';
  const resultClass = (result) => (succeeded(result) ? result : 'failed');

  function duration(seconds) {
    const whole = Math.max(0, Math.floor(seconds));
    const h = Math.floor(whole / 3600);
    const m = Math.floor((whole % 3600) / 60);
    const s = String(whole % 60).padStart(2, '0');
    return h > 0 ? `${h}:${String(m).padStart(2, '0')}:${s}` : `${m}:${s}`;
  }

  function clockTime(iso) {
    const match = /T(\d\d:\d\d:\d\d)/.exec(iso || '');
    return match ? match[1] : '';
  }

  function element(tag, className, text) {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined) node.textContent = text;
    return node;
  }

  // What a tile shows: its colour and its main word.
  function shown(slot) {
    if (slot.state === 'updating') return ['updating', 'Updating'];
    if (slot.state === 'waiting') return ['waiting', 'Waiting for a unit'];
    if (slot.result === 'updated') return ['updated', 'Updated'];
    if (slot.result === 'up_to_date') return ['up_to_date', 'Up to date'];
    return ['failed', `Failed: ${slot.result || 'unknown'}`];
  }

  function newTile(name) {
    const tile = element('article', 'tile');
    tile.dataset.slot = name;
    tile.append(element('div', 'tile-name', name), element('div', 'tile-state'));
    const progress = element('progress');
    progress.max = 100;
    tile.append(progress, element('div', 'tile-version'), element('div', 'tile-reason'));
    const foot = element('div', 'tile-foot');
    foot.append(element('span', 'tile-note'), element('span', 'tile-elapsed'));
    tile.append(foot);
    return tile;
  }

  function fillTile(tile, slot) {
    const [show, word] = shown(slot);
    tile.dataset.state = slot.state;
    tile.dataset.show = show;
    tile.dataset.result = slot.result || '';
    tile.querySelector('.tile-state').textContent = word;
    const progress = tile.querySelector('progress');
    progress.hidden = slot.state !== 'updating';
    if (slot.percent !== null) progress.value = slot.percent;
    else progress.removeAttribute('value');
    tile.querySelector('.tile-version').textContent = slot.version || '';
    const failed = slot.state !== 'waiting' && slot.state !== 'updating' && !succeeded(slot.result);
    tile.querySelector('.tile-reason').textContent = failed && slot.reason ? slot.reason : '';
    const note = tile.querySelector('.tile-note');
    note.classList.toggle('removal', slot.state === 'removal' || slot.state === 'done');
    if (slot.state === 'removal' || slot.state === 'done') {
      note.textContent = 'Remove the unit';
    } else if (slot.state === 'updating') {
      note.textContent = slot.percent !== null ? `${slot.percent} %` : 'Starting';
    } else if (slot.result) {
      note.textContent = `Last: ${slot.result.replace(/_/g, ' ')} ${clockTime(slot.result_at)}`;
    } else {
      note.textContent = '';
    }
  }

  // Time in the state, or for a finished unit the time it took; counted on between events.
  function tickElapsed() {
    const since = (performance.now() - receivedAt) / 1000;
    for (const slot of slots) {
      const tile = document.querySelector(`.tile[data-slot="${CSS.escape(slot.name)}"]`);
      if (!tile) continue;
      const finished = (slot.state === 'done' || slot.state === 'removal') && slot.unit_s !== null;
      tile.querySelector('.tile-elapsed').textContent =
        finished ? `took ${duration(slot.unit_s)}` : duration(slot.state_s + since);
    }
  }

  function applySlots(state) {
    slots = state.slots;
    receivedAt = performance.now();
    byId('station-name').textContent = state.station;
    byId('tool-version').textContent = state.version;
    byId('started').textContent = clockTime(state.started) || state.started;
    const totals = state.totals;
    byId('total-updated').textContent = totals.updated;
    byId('total-up_to_date').textContent = totals.up_to_date;
    byId('total-failed').textContent = totals.failed;
    byId('total-rate').textContent = totals.units_per_hour.toFixed(1);
    if (state.stopping) {
      setConnection('stopping', 'Stopping: the units being updated finish first');
    }

    const board = byId('slots');
    const tiles = new Map([...board.children].map((tile) => [tile.dataset.slot, tile]));
    const ordered = slots.map((slot) => {
      const tile = tiles.get(slot.name) || newTile(slot.name);
      tiles.delete(slot.name);
      fillTile(tile, slot);
      return tile;
    });
    for (const gone of tiles.values()) gone.remove();
    ordered.forEach((tile, index) => {
      if (board.children[index] !== tile) board.insertBefore(tile, board.children[index] || null);
    });
    byId('no-slots').hidden = slots.length > 0;
    tickElapsed();
  }

  function renderRecords() {
    const body = byId('records').tBodies[0];
    const rows = records.slice().reverse().map((record) => {
      const row = element('tr');
      const file = typeof record.file_path === 'string' ? record.file_path.split('/').pop() : '';
      const took = typeof record.duration_ms === 'number' ? duration(record.duration_ms / 1000) : '';
      row.append(
        element('td', '', clockTime(record.time)),
        element('td', '', record.slot || record.port || ''),
        element('td', `result-${resultClass(record.result)}`, record.result || ''),
        element('td', '', record.mcu_version_before || ''),
        element('td', '', took),
        element('td', '', file));
      return row;
    });
    body.replaceChildren(...rows);
  }

  function setConnection(state, text) {
    const badge = byId('connection');
    badge.dataset.state = state;
    badge.textContent = text;
    document.body.classList.toggle('stale', state !== 'live' && state !== 'stopping');
  }

  function connect() {
    source = new EventSource('/events');
    source.addEventListener('open', () => setConnection('live', 'Live'));
    source.addEventListener('state', (event) => {
      const state = JSON.parse(event.data);
      records = state.records.slice(-MAX_RECORDS);
      recordsSeen = state.records_seen;
      setConnection('live', 'Live');
      applySlots(state);
      renderRecords();
    });
    source.addEventListener('slots', (event) => applySlots(JSON.parse(event.data)));
    source.addEventListener('record', (event) => {
      const numbered = JSON.parse(event.data);
      if (numbered.number <= recordsSeen) return;
      recordsSeen = numbered.number;
      records.push(numbered.record);
      records = records.slice(-MAX_RECORDS);
      renderRecords();
    });
    source.addEventListener('error', () => {
      setConnection('lost', 'Station not reachable: reconnecting…');
      // The browser retries a dropped stream by itself, but gives up on a refused one.
      if (source.readyState === EventSource.CLOSED) {
        source.close();
        setTimeout(connect, RECONNECT_MS);
      }
    });
  }

  setInterval(tickElapsed, 1000);
  connect();
})();
