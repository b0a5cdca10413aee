// The console's frame: who is logged in, which fabric is shown, the navigation bar, and the
// page named by the address ('#switch?fabric=10.0.0.1&chassis=2'). Each page is a module with
// show(main, context), which may return a function that stops what it left running (polling).
import {api, el, page_link, set_csrf, error_box} from './common.js';
import * as fabric from './fabric.js';
import * as switch_page from './switch.js';
import * as devices from './devices.js';
import * as zoning from './zoning.js';
import * as history from './history.js';
import * as events from './events.js';

const pages = [
    ['fabric', 'Fabric', fabric],
    ['switch', 'Switch', switch_page],
    ['devices', 'Devices', devices],
    ['zoning', 'Zoning', zoning],
    ['history', 'History', history],
    ['events', 'Events', events],
];

const main = document.getElementById('main');
const chooser = document.getElementById('fabric');
let session = null, fabrics = [], stop_page = null, shown = 0;

function route() {
    const [name, query] = location.hash.slice(1).split('?');
    const params = Object.fromEntries(new URLSearchParams(query || ''));
    const page = pages.find(p => p[0] === name) || pages[0];
    return {page, params};
}

async function show() {
    if (stop_page) stop_page();
    stop_page = null;
    const {page, params} = route();
    const [name, title, module] = page;
    if (!params.fabric || !fabrics.some(f => f.fabric === params.fabric)) params.fabric = chooser.value || '';
    chooser.value = params.fabric;
    for (const a of document.querySelectorAll('#nav a'))
        a.classList.toggle('current', a.dataset.page === name);
    document.title = `${title} · telvard`;
    // Each page draws into a view of its own: a page left before it finished loading goes on
    // drawing into a view no longer shown, never over the next page.
    const turn = ++shown;
    const view = el('div', {class: 'view'}, el('p', {class: 'quiet'}, 'Loading…'));
    main.replaceChildren(view);
    if (!params.fabric) {
        view.replaceChildren(el('h1', {}, title), el('p', {}, 'telvard watches no fabric.'));
        return;
    }
    try {
        const stop = await module.show(view, {params, session, fabric: params.fabric});
        if (turn === shown) stop_page = stop || null;
        else if (stop) stop();
    } catch (err) {
        view.append(error_box(err));
    }
}

async function start() {
    try {
        session = await api('/api/session');
        set_csrf(session.csrf);
        fabrics = (await api('/api/fabrics')).fabrics || [];
    } catch (err) {
        main.replaceChildren(error_box(err));
        return;
    }
    document.getElementById('role').textContent = `role: ${session.role}`;
    chooser.replaceChildren(...fabrics.map(f => el('option', {value: f.fabric}, f.fabric)));
    chooser.parentElement.hidden = fabrics.length < 2;
    chooser.addEventListener('change', () => {
        const {page} = route();
        location.hash = page_link(page[0], {fabric: chooser.value});
    });
    document.getElementById('nav').replaceChildren(...pages.map(([name, title]) =>
        el('a', {href: page_link(name), 'data-page': name}, title)));
    document.getElementById('nav').addEventListener('click', e => {
        // The nav's links keep the fabric chosen.
        const a = e.target.closest('a');
        if (!a) return;
        e.preventDefault();
        location.hash = page_link(a.dataset.page, {fabric: chooser.value});
    });
    document.getElementById('logout').addEventListener('click', async () => {
        try {
            await api('/logout', {}, {method: 'POST', stay: true});
        } finally {
            location.assign('/assets/login.html');
        }
    });
    window.addEventListener('hashchange', show);
    show();
}

start();
