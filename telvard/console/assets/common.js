// What every page of the console shares: calls to the JSON API (with the session's CSRF token on
// every change), elements whose texts are always text nodes, tables, and links between pages.
// A switch is not a trusted source: nothing here ever parses a text as HTML, so a description
// such as "<script>" is shown as those characters wherever it appears.

let csrf_token = '';

export function set_csrf(token) {
    csrf_token = token || '';
}

export class api_error extends Error {
    constructor(status, message) {
        super(message);
        this.status = status;
    }
}

const login_page = '/assets/login.html';

// Calls the API: params become the query string, options.body is sent as JSON. Answers other
// than 2xx become an api_error carrying the server's own message; a lost session goes back to
// the login page.
export async function api(path, params = {}, options = {}) {
    const url = new URL(path, location.origin);
    for (const [k, v] of Object.entries(params))
        if (v !== undefined && v !== null && v !== '') url.searchParams.set(k, String(v));
    const init = {method: options.method || 'GET', credentials: 'same-origin', headers: {}};
    if (options.body !== undefined) {
        init.headers['Content-Type'] = 'application/json';
        init.body = JSON.stringify(options.body);
    }
    if (init.method !== 'GET') init.headers['X-CSRF-Token'] = csrf_token;
    const answer = await fetch(url, init);
    const text = await answer.text();
    if (answer.status === 401 && !options.stay) location.assign(login_page);
    let data = null;
    if (!options.raw) {
        try {
            data = text ? JSON.parse(text) : null;
        } catch {
            if (answer.ok) throw new api_error(answer.status, 'the server sent something that is not JSON');
        }
    }
    if (!answer.ok) {
        let message = `${answer.status} ${answer.statusText}`;
        try {
            const e = options.raw ? JSON.parse(text) : data;
            if (e && typeof e.error === 'string') message = e.error;
        } catch { /* keep the status line */ }
        throw new api_error(answer.status, message);
    }
    return options.raw ? text : data;
}

// el('a', {href: '#fabric', class: 'x', onclick: f}, 'text', node, ...): attributes are set one
// by one, listeners only from functions, children that are not nodes become text nodes.
export function el(tag, attrs = {}, ...children) {
    const e = document.createElement(tag);
    for (const [k, v] of Object.entries(attrs)) {
        if (v === undefined || v === null || v === false) continue;
        if (k.startsWith('on')) {
            if (typeof v !== 'function') throw new TypeError(`${k} must be a function`);
            e.addEventListener(k.slice(2), v);
        } else if (k === 'style') {
            throw new TypeError('styles come from style.css');
        } else if (k === 'class') {
            e.className = v;
        } else {
            e.setAttribute(k, v === true ? '' : String(v));
        }
    }
    append(e, children);
    return e;
}

export function append(parent, children) {
    for (const c of [children].flat(Infinity)) {
        if (c === undefined || c === null || c === false) continue;
        parent.append(c instanceof Node ? c : document.createTextNode(String(c)));
    }
    return parent;
}

// A link to a page of the console: '#page?k=v', values encoded, so no text of a switch can
// become a scheme such as javascript:.
export function page_link(page, params = {}) {
    const q = new URLSearchParams();
    for (const [k, v] of Object.entries(params))
        if (v !== undefined && v !== null && v !== '') q.set(k, String(v));
    const s = q.toString();
    return '#' + page + (s ? '?' + s : '');
}

// columns: [{title, value(row) -> text or node, class(row) -> class name (optional)}]; when
// columns.row_class(row) is set, it gives each row's class.
export function table(columns, rows, empty = 'Nothing to show.') {
    if (rows.length === 0) return el('p', {class: 'quiet'}, empty);
    const head = el('tr', {}, columns.map(c => el('th', {scope: 'col'}, c.title)));
    const body = rows.map(row => el('tr', {class: columns.row_class ? columns.row_class(row) : null},
        columns.map(c => el('td', {class: c.class ? c.class(row) : null}, c.value(row)))));
    return el('table', {}, el('thead', {}, head), el('tbody', {}, body));
}

// A record's members as a definition list; nested records and lists are written out flat, so
// that members the page does not know still show.
export function facts(record, skip = []) {
    const dl = el('dl', {class: 'facts'});
    for (const [k, v] of Object.entries(record || {})) {
        if (skip.includes(k)) continue;
        dl.append(el('dt', {}, k.replaceAll('_', ' ')), el('dd', {}, flat_text(v)));
    }
    return dl;
}

export function flat_text(v) {
    if (v === null || v === undefined) return '—';
    if (Array.isArray(v)) return v.map(flat_text).join('; ');
    if (typeof v === 'object')
        return Object.entries(v).map(([k, x]) => `${k.replaceAll('_', ' ')} ${flat_text(x)}`).join(', ');
    return String(v);
}

export function error_box(err) {
    return el('p', {class: 'error', role: 'alert'}, err instanceof Error ? err.message : String(err));
}

// The switch a history row or a result names, as a link to its page.
export function switch_link(fabric, sw) {
    if (!sw) return '(fabric)';
    const label = sw.chassis !== undefined ? `chassis ${sw.chassis}` : (sw.fc_address || sw.wwn || '?');
    if (sw.chassis === undefined) return label;
    return el('a', {href: page_link('switch', {fabric, chassis: sw.chassis})}, label);
}

// Runs step every period_ms while the page is shown (until stop() is called); one call at a
// time, so a slow answer never piles requests up.
export function every(period_ms, step) {
    let stopped = false, timer = 0;
    const tick = async () => {
        if (stopped) return;
        try {
            await step();
        } finally {
            if (!stopped) timer = setTimeout(tick, period_ms);
        }
    };
    timer = setTimeout(tick, period_ms);
    return () => {
        stopped = true;
        clearTimeout(timer);
    };
}

// The filters of a window of the history, by time and by switch, as filter_form takes them.
export const window_filters = [
    {name: 'since', label: 'Since', placeholder: '12h or 2026-12-06T10:00:00Z'},
    {name: 'until', label: 'Until', placeholder: 'now'},
    {name: 'switch', label: 'Switch', placeholder: 'chassis, FC address or WWN'},
];

// "3 changes, newest last.": how many rows a window holds, as its table's caption.
export function window_count(rows, noun) {
    return el('p', {class: 'quiet'}, `${rows.length} ${noun}${rows.length === 1 ? '' : 's'}, newest last.`);
}

// A form of filters whose values go into the page's address, so a view can be bookmarked and
// reloaded: fields [{name, label, placeholder, list}]; the parameters named in keep stay as they
// are (another form's, on the same page).
export function filter_form(page, params, fields, button = 'Show', keep = []) {
    const inputs = fields.map(f => el('input', {name: f.name, id: `filter_${f.name}`, value: params[f.name] || '',
                                                placeholder: f.placeholder || '', list: f.list || null}));
    const form = el('form', {class: 'filters', onsubmit: e => {
        e.preventDefault();
        const next = {fabric: params.fabric};
        for (const k of keep) next[k] = params[k];
        for (const i of inputs) next[i.name] = i.value.trim();
        // The same filters again ask for the rows again: the page is drawn anew.
        const target = page_link(page, next);
        if (location.hash === target) window.dispatchEvent(new HashChangeEvent('hashchange'));
        else location.hash = target;
    }}, fields.map((f, n) => el('label', {}, f.label, inputs[n])), el('button', {type: 'submit'}, button));
    return form;
}
