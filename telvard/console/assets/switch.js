// The Switch page: the front panel, chassis health and identity, and the port table, read live
// and refreshed every few seconds while the page is shown. When telvard is reading the fabric at
// that moment the server answers from its last reading, and the page says as of when.
import {api, append, el, every, facts, page_link, table, error_box, flat_text} from './common.js';
import {safe_svg} from './safe_svg.js';

const state_class = s => ({on: 'ok', off: 'offline', fail: 'failed', test: 'testing'}[s] || 'failed');
const counters_shown = ['in_frames', 'out_frames', 'crc_errs', 'link_fails', 'sync_losses', 'loss_of_signal'];

function port_table(ports) {
    const columns = [
        {title: 'Port', value: p => p.port},
        {title: 'Type', value: p => p.type},
        {title: 'Admin', value: p => p.admin, class: p => state_class(p.admin)},
        {title: 'Operational', value: p => p.operational, class: p => state_class(p.operational)},
        {title: 'Transceiver', value: p => p.transceiver},
        {title: 'Devices', value: p => (p.devices || []).join(' ')},
        ...counters_shown.map(c => ({title: c.replaceAll('_', ' '), value: p => p.counters ? flat_text(p.counters[c]) : '—',
                                      class: () => 'number'})),
    ];
    columns.row_class = p => p.operational === 'on' ? null : state_class(p.operational);
    return table(columns, ports, 'The switch reported no ports.');
}

async function choose(main, fabric) {
    const f = await api('/api/fabric', {fabric});
    main.replaceChildren(el('h1', {}, 'Switch'), el('p', {}, 'Choose a switch:'),
        el('ul', {}, f.switches.map(s => el('li', {}, el('a', {href: page_link('switch', {fabric, chassis: s.chassis})},
                                                          `chassis ${s.chassis}`), ` ${s.fc_address} `, s.description))));
}

export async function show(main, {fabric, params}) {
    const chassis = params.chassis;
    if (chassis === undefined) return choose(main, fabric);
    const where = {fabric, chassis};
    const head = el('div'), panel = el('figure', {class: 'picture panel'}), health = el('div', {class: 'columns'});
    const ports = el('section', {id: 'ports'}), as_of = el('p', {class: 'as_of', id: 'as_of'});
    main.replaceChildren(head, panel, el('h2', {}, 'Ports'), as_of, ports, health);

    let read_at = null;
    const draw_switch = async () => {
        const s = await api('/api/switch', where);
        if (s.read_at === read_at) return;
        read_at = s.read_at;
        const id = s.identity || {};
        const up = !s.status || s.status.code === 0;
        head.replaceChildren();
        append(head, [
            el('h1', {}, `Switch chassis ${s.chassis} `, el('span', {class: 'quiet'}, s.fc_address)),
            el('p', {class: 'description'}, (s.system && s.system.description) || id.description || ''),
            up ? null : el('p', {class: 'mark failed'}, `DOWN: ${s.status.message}`),
            el('p', {class: 'quiet'}, `As read at ${s.read_at}`)]);
        health.replaceChildren(el('section', {}, el('h2', {}, 'Chassis health'), facts(s.chassis_status)),
                               el('section', {}, el('h2', {}, 'Identity'), facts(id)),
                               el('section', {}, el('h2', {}, 'System'), facts(s.system)));
        try {
            const svg = await api('/api/switch/panel.svg', where, {raw: true});
            panel.replaceChildren(safe_svg(svg));
        } catch (err) {
            panel.replaceChildren(error_box(err));
        }
    };
    const draw_ports = async () => {
        try {
            const p = await api('/api/switch/ports', where);
            const why = p.error ? `the switch did not answer (${p.error})` : 'telvard is reading this fabric';
            as_of.textContent = p.live ? `Live, read at ${new Date().toLocaleTimeString()}; refreshed every 3 s.`
                                       : `As of ${p.as_of}: ${why}, so this is its last reading (no counters).`;
            as_of.classList.toggle('stale', !p.live);
            ports.replaceChildren(port_table(p.ports || []));
        } catch (err) {
            as_of.textContent = '';
            ports.replaceChildren(error_box(err));
        }
    };
    await Promise.all([draw_switch(), draw_ports()]);
    return every(3000, () => Promise.all([draw_switch().catch(() => {}), draw_ports()]));
}
