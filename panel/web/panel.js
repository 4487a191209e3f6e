// The panel's rows in a browser. The page holds no state of its own beyond
// the inputs picked here and not yet taken: the running panel decides every
// take, and its event stream keeps the rows as the window shows them.
'use strict';

(() => {
    const api = '/api/v1/';
    const byId = (id) => document.getElementById(id);
    const sentLabel = { off: 'idle', green: 'sent', red: 'send failed' };
    // The event stream is checked this often when nothing has come through:
    // a link that died without closing (a phone's Wi-Fi) is found this way.
    const quietCheckMs = 15000;
    const firstRetryMs = 500;
    const lastRetryMs = 10000;

    let rows = [];           // the panel's rows, as it last told them
    let views = [];          // the elements of each row, by position
    const picks = new Map(); // row number -> list position picked here, not taken
    const awaited = new Map(); // row number -> whether it has been busy since pressed
    let panelTakeAll = null; // the panel's own word on Take All, when it gives one
    let live = false;
    let socket = null;
    let retryTimer = 0;
    let retryMs = firstRetryMs;
    let lastHeard = 0;
    let signedOut = false;

    // --- Talking to the panel ---------------------------------------------

    class SignedOut extends Error {}

    async function request(path, body) {
        const init = { credentials: 'same-origin', cache: 'no-store', headers: {} };
        if (body !== undefined) {
            init.method = 'POST';
            init.headers['Content-Type'] = 'application/json';
            init.body = JSON.stringify(body);
        }
        const response = await fetch(api + path, init);
        if (response.status === 401) {
            throw new SignedOut();
        }
        let answer = {};
        try {
            answer = await response.json();
        } catch (e) {
            answer = {};
        }
        return { status: response.status, answer };
    }

    function failureText(result) {
        if (result.answer && typeof result.answer.error === 'string' && result.answer.error) {
            return result.answer.error;
        }
        return `The panel answered ${result.status}.`;
    }

    // Runs one action against the panel; a lost session or connection is
    // handled here so that every caller only deals with the panel's answer.
    async function act(what) {
        try {
            return await what();
        } catch (e) {
            if (e instanceof SignedOut) {
                showAccess();
            } else {
                notify('The panel could not be reached. Check the connection and try again.');
                reconnectSoon();
            }
            return null;
        }
    }

    // --- Rows ----------------------------------------------------------------

    function buildRows(count) {
        const box = byId('rows');
        const template = byId('rowTemplate').content;
        box.replaceChildren();
        views = [];
        for (let i = 0; i < count; ++i) {
            const row = template.firstElementChild.cloneNode(true);
            const view = {
                row,
                number: i + 1,
                label: row.querySelector('.num'),
                name: row.querySelector('.name'),
                pick: row.querySelector('.pick'),
                pend: row.querySelector('.pend'),
                take: row.querySelector('.take'),
                sent: row.querySelector('.sent'),
                failure: row.querySelector('.failure'),
                inputsKey: null,
            };
            view.pick.id = `input${i + 1}`;
            view.label.htmlFor = view.pick.id;
            view.label.querySelector('.n').textContent = String(i + 1);
            view.take.id = `take${i + 1}`;
            view.failure.id = `failure${i + 1}`;
            view.pick.addEventListener('change', () => pickChanged(view));
            view.take.addEventListener('click', () => take(view));
            box.append(row);
            views.push(view);
        }
    }

    function setLamp(lamp, colour, label) {
        if (lamp.dataset.lamp !== colour) {
            lamp.dataset.lamp = colour;
        }
        lamp.setAttribute('aria-label', label);
    }

    // The panel counts inputs from 1 (0 for none); a list's positions from 0.
    function position(state) {
        return Number.isInteger(state.chosen) ? state.chosen - 1 : -1;
    }

    function chosenHere(state) {
        return picks.has(state.row) ? picks.get(state.row) : position(state);
    }

    function showRow(state) {
        const view = views[state.row - 1];
        if (!view) {
            return;
        }
        const enabled = Boolean(state.enabled);
        view.row.classList.toggle('off', !enabled);
        view.name.textContent = enabled ? ` ${state.output}, input` : ', no output';
        view.take.textContent = enabled ? state.output : '';
        view.take.setAttribute('aria-label', enabled ? `Take ${state.output}` : `Row ${state.row}, no output`);
        const inputs = Array.isArray(state.inputs) ? state.inputs : [];
        const key = JSON.stringify(inputs);
        if (view.inputsKey !== key) {
            view.pick.replaceChildren(...inputs.map((name, i) => new Option(name, String(i))));
            view.inputsKey = key;
        }
        const chosen = chosenHere(state);
        view.pick.selectedIndex = chosen;
        const pending = Boolean(state.pending) || chosen !== position(state);
        setLamp(view.pend, pending ? 'red' : 'off', pending ? 'pending' : 'not pending');
        const sent = sentLabel[state.sent] !== undefined ? state.sent : 'off';
        setLamp(view.sent, sent, sentLabel[sent]);
        view.sent.title = state.result === 'failed' ? state.resultText || '' : '';
        view.take.setAttribute('aria-busy', state.busy ? 'true' : 'false');
        view.pick.disabled = !enabled || !live;
        view.take.disabled = !enabled || !live;
    }

    function showFailure(view, text) {
        view.failure.textContent = text;
        view.failure.hidden = !text;
        if (text) {
            view.take.setAttribute('aria-describedby', view.failure.id);
        } else {
            view.take.removeAttribute('aria-describedby');
        }
    }

    function takeAllEnabled() {
        if (picks.size > 0) {
            return true;
        }
        if (panelTakeAll !== null) {
            return panelTakeAll;
        }
        return rows.some((state) => state.enabled && state.pending);
    }

    function showControls() {
        byId('rows').dataset.live = String(live);
        byId('takeAll').disabled = !live || !takeAllEnabled();
        const hasPresets = byId('presets').options.length > 0;
        byId('presets').disabled = !live || !hasPresets;
        byId('recall').disabled = !live || !hasPresets;
        byId('recallTake').disabled = !live || !hasPresets;
    }

    function showAll() {
        rows.forEach(showRow);
        showControls();
    }

    // A change from the panel. A pick made here gives way once the panel
    // has it, or once someone else has routed that output meanwhile.
    function applyRow(state) {
        const i = state.row - 1;
        if (i < 0 || i >= rows.length) {
            return;
        }
        const before = rows[i];
        if (picks.has(state.row) &&
            (position(state) === picks.get(state.row) || before.chosen !== state.chosen)) {
            picks.delete(state.row);
        }
        rows[i] = state;
        showRow(state);
        noteOutcome(state);
    }

    function applyState(message) {
        if (!Array.isArray(message.rows) || !message.rows.every((row) => row && typeof row === 'object')) {
            return;
        }
        if (message.rows.length !== views.length) {
            buildRows(message.rows.length);
            picks.clear();
        }
        if (rows.length !== message.rows.length) {
            rows = message.rows.slice();
            showAll();
        } else {
            message.rows.forEach(applyRow);
        }
        if (typeof message.takeAll === 'boolean') {
            panelTakeAll = message.takeAll;
        }
        showControls();
    }

    function applyPresets(list) {
        const select = byId('presets');
        const names = (Array.isArray(list) ? list : [])
            .map((preset) => (typeof preset === 'string' ? preset : preset && preset.name))
            .filter((name) => typeof name === 'string');
        const current = select.value;
        select.replaceChildren(...names.map((name) => new Option(name, name)));
        if (names.includes(current)) {
            select.value = current;
        }
        showControls();
    }

    // --- What the operator does --------------------------------------------

    function pickChanged(view) {
        const state = rows[view.number - 1];
        if (!state) {
            return;
        }
        if (view.pick.selectedIndex === position(state)) {
            picks.delete(view.number);
        } else {
            picks.set(view.number, view.pick.selectedIndex);
        }
        showRow(state);
        showControls();
    }

    // The output's button: the input shown in its list goes to the panel,
    // which sends it as if its own button had been pressed.
    async function takeRow(view) {
        const state = rows[view.number - 1];
        const input = view.pick.selectedIndex;
        if (input < 0) {
            showFailure(view, `Pick an input for ${state.output} first.`);
            return true;
        }
        const inputName = view.pick.options[input].text;
        showFailure(view, '');
        // This answer tells the outcome; an earlier Take All's wait is over.
        awaited.delete(view.number);
        const result = await act(() => request('take', { row: view.number, input: input + 1 }));
        if (!result) {
            return false;
        }
        if (result.status === 200 && result.answer.ok !== false) {
            say(`${state.output}: ${inputName} sent.`);
            return true;
        }
        const text = failureText(result);
        showFailure(view, text);
        notify(`${state.output}: ${text}`);
        return false;
    }

    function take(view) {
        takeRow(view);
    }

    // Inputs picked here are taken first, in row order, then whatever the
    // panel itself has pending. The panel answers Take All at once with the
    // rows it pressed; their outcomes come through the event stream.
    async function takeAll() {
        const button = byId('takeAll');
        button.disabled = true;
        try {
            for (const number of [...picks.keys()].sort((a, b) => a - b)) {
                if (!(await takeRow(views[number - 1]))) {
                    return;
                }
            }
            const result = await act(() => request('take-all', {}));
            if (!result) {
                return;
            }
            if (result.status !== 200) {
                notify(`Take All: ${failureText(result)}`);
                return;
            }
            awaitOutcomes(result.answer.rows);
        } finally {
            showControls();
        }
    }

    // Rows pressed for this page without waiting for their ends: a row's
    // outcome is the first event after it has been busy.
    function awaitOutcomes(pressed) {
        (Array.isArray(pressed) ? pressed : []).forEach((entry) => {
            const number = typeof entry === 'number' ? entry : entry && entry.row;
            if (views[number - 1]) {
                showFailure(views[number - 1], '');
                awaited.set(number, Boolean(rows[number - 1] && rows[number - 1].busy));
            }
        });
    }

    function noteOutcome(state) {
        if (!awaited.has(state.row)) {
            return;
        }
        if (state.busy) {
            awaited.set(state.row, true);
        } else if (awaited.get(state.row)) {
            awaited.delete(state.row);
            if (state.result === 'failed') {
                const text = state.resultText || 'The send failed.';
                showFailure(views[state.row - 1], text);
                notify(`${state.output}: ${text}`);
            } else {
                say(`${state.output}: ${state.inputs[position(state)] || ''} sent.`);
            }
        }
    }

    async function recall() {
        const name = byId('presets').value;
        if (!name) {
            return;
        }
        const takeToo = byId('recallTake').checked;
        const result = await act(() => request('presets/recall', { name, take: takeToo }));
        if (!result) {
            return;
        }
        if (result.status !== 200 || result.answer.ok === false) {
            notify(`Preset ${name}: ${failureText(result)}`);
            return;
        }
        awaitOutcomes(result.answer.taken);
        const skipped = Array.isArray(result.answer.skipped) ? result.answer.skipped : [];
        if (skipped.length > 0) {
            notify(`Preset ${name}: ${skipped.join('; ')}`);
        } else {
            say(`Preset ${name} recalled${takeToo ? ' and taken' : ''}.`);
        }
    }

    function say(text) {
        // Set anew so that the same words twice are read twice.
        const said = byId('said');
        said.textContent = '';
        window.setTimeout(() => {
            said.textContent = text;
        }, 50);
    }

    function notify(text) {
        byId('noticeText').textContent = text;
        byId('notice').hidden = false;
    }

    // --- The connection ------------------------------------------------------

    function showLink(state, text) {
        const link = byId('link');
        link.dataset.state = state;
        byId('linkText').textContent = text;
        byId('retryNow').hidden = state !== 'lost';
    }

    function showAccess() {
        signedOut = true;
        live = false;
        window.clearTimeout(retryTimer);
        if (socket) {
            socket.onclose = null;
            socket.close();
            socket = null;
        }
        byId('panel').hidden = true;
        byId('notice').hidden = true;
        byId('access').hidden = false;
        showLink('signed-out', 'No access');
    }

    function reconnectSoon() {
        if (signedOut || retryTimer) {
            return;
        }
        live = false;
        if (socket) {
            socket.onclose = null;
            socket.close();
            socket = null;
        }
        showAll();
        const wait = retryMs;
        retryMs = Math.min(retryMs * 2, lastRetryMs);
        const seconds = Math.max(1, Math.round(wait / 1000));
        showLink('lost', `Connection to the panel lost. Trying again in ${seconds} s…`);
        // A little spread, so that many tablets do not all come back at once.
        retryTimer = window.setTimeout(connect, wait + Math.random() * 250);
    }

    function heard() {
        lastHeard = Date.now();
    }

    function openEvents() {
        const scheme = window.location.protocol === 'https:' ? 'wss:' : 'ws:';
        const events = new WebSocket(`${scheme}//${window.location.host}${api}events`);
        socket = events;
        events.onopen = heard;
        events.onmessage = (event) => {
            heard();
            let message;
            try {
                message = JSON.parse(event.data);
            } catch (e) {
                return;
            }
            if (message.type === 'rows') {
                live = true;
                retryMs = firstRetryMs;
                showLink('live', 'Connected to the panel');
                applyState(message);
                if (message.presets) {
                    applyPresets(message.presets);
                }
                showAll();
            } else if (message.type === 'row' && message.row) {
                applyRow(message.row);
                if (typeof message.takeAll === 'boolean') {
                    panelTakeAll = message.takeAll;
                }
                showControls();
            } else if (message.type === 'presets') {
                applyPresets(message.presets);
            }
        };
        events.onclose = () => {
            if (socket === events) {
                socket = null;
                reconnectSoon();
            }
        };
    }

    // Asks for the rows first: that tells a lost session (401) from a lost
    // connection, which the event stream alone cannot.
    async function connect() {
        window.clearTimeout(retryTimer);
        retryTimer = 0;
        if (signedOut) {
            return;
        }
        if (!live) {
            showLink('connecting', 'Connecting to the panel…');
        }
        try {
            const state = await request('rows');
            if (state.status !== 200) {
                throw new Error(failureText(state));
            }
            byId('access').hidden = true;
            byId('panel').hidden = false;
            applyState(state.answer);
            const presets = await request('presets');
            if (presets.status === 200) {
                applyPresets(presets.answer.presets);
            }
            heard();
            openEvents();
        } catch (e) {
            if (e instanceof SignedOut) {
                showAccess();
            } else {
                reconnectSoon();
            }
        }
    }

    async function checkQuiet() {
        if (!live || signedOut || Date.now() - lastHeard < quietCheckMs) {
            return;
        }
        const stop = new AbortController();
        const timer = window.setTimeout(() => stop.abort(), 5000);
        try {
            const response = await fetch(`${api}rows`, { credentials: 'same-origin', cache: 'no-store', signal: stop.signal });
            if (response.status === 401) {
                showAccess();
            } else if (response.ok) {
                heard();
            } else {
                reconnectSoon();
            }
        } catch (e) {
            reconnectSoon();
        } finally {
            window.clearTimeout(timer);
        }
    }

    byId('takeAll').addEventListener('click', takeAll);
    byId('recall').addEventListener('click', recall);
    byId('noticeClose').addEventListener('click', () => {
        byId('notice').hidden = true;
    });
    byId('retryNow').addEventListener('click', () => {
        retryMs = firstRetryMs;
        connect();
    });
    // The device itself says its network has gone (a phone out of Wi-Fi).
    window.addEventListener('offline', reconnectSoon);
    window.addEventListener('online', () => {
        if (!live) {
            retryMs = firstRetryMs;
            connect();
        }
    });
    window.setInterval(checkQuiet, quietCheckMs / 3);
    connect();
})();
