// The Fabric page: the map as `telvar map` draws it, each switch a link to its page, and the list
// of switches with those that are down and the ports in trouble marked as the pictures mark
// them. It looks for a new reading every few seconds and redraws when there is one.
import {api, append, el, every, page_link, table, error_box, api_error} from './common.js';
import {safe_svg} from './safe_svg.js';

const marks = {OFFLINE: 'offline', FAILED: 'failed', 'IN TEST': 'testing'};

export function trouble(p) {
    return el('span', {class: `mark ${marks[p.mark] || 'failed'}`}, `${p.port} ${p.mark}`);
}

export async function show(main, {fabric}) {
    let read_at = null;
    const draw = async () => {
        let f;
        try {
            f = await api('/api/fabric', {fabric});
        } catch (err) {
            if (!(err instanceof api_error) || err.status !== 409) throw err;
            main.replaceChildren(el('h1', {}, `Fabric ${fabric}`),
                                 el('p', {class: 'quiet'}, `${err.message} — this page shows the fabric as soon as telvard has read it.`));
            return;
        }
        if (f.read_at === read_at) return;
        read_at = f.read_at;
        const link = c => page_link('switch', {fabric, chassis: c});
        const map = el('figure', {class: 'picture map'});
        const columns = [
            {title: 'Chassis', value: s => el('a', {href: link(s.chassis)}, s.chassis)},
            {title: 'FC address', value: s => s.fc_address},
            {title: 'WWN', value: s => s.wwn, class: () => 'mono'},
            {title: 'Description', value: s => s.description},
            {title: 'Firmware', value: s => s.firmware},
            {title: 'State', value: s => s.reachable ? 'up' : `DOWN: ${s.status}`, class: s => s.reachable ? 'ok' : 'down'},
            {title: 'Ports', value: s => s.ports},
            {title: 'Devices', value: s => s.devices},
            {title: 'Ports in trouble', value: s => (s.ports_in_trouble || []).map(trouble)},
        ];
        columns.row_class = s => s.reachable ? null : 'down';
        const down = f.switches.filter(s => !s.reachable).length;
        main.replaceChildren();
        append(main, [
            el('h1', {}, `Fabric ${fabric}`),
            el('p', {class: 'quiet'}, `As read at ${f.read_at}: ${f.switches.length} switches`,
               down ? el('span', {class: 'mark failed'}, `${down} down`) : null, `, ${f.links.length} links.`),
            // A reading that reached no switch: the fabric as last seen, every switch down.
            f.error || (down && down === f.switches.length)
                ? el('p', {class: 'mark failed', id: 'fabric_down'}, `DOWN: ${f.error || 'no switch answers'}`) : null,
            map, el('section', {}, el('h2', {}, 'Switches'), table(columns, f.switches))]);
        try {
            const svg = await api('/api/fabric/map.svg', {fabric}, {raw: true});
            const chassis = id => /^switch_(\d+)$/.exec(id);
            map.append(safe_svg(svg, id => chassis(id) ? link(chassis(id)[1]) : null));
        } catch (err) {
            map.append(error_box(err));
        }
    };
    await draw();
    // A failed look for a new reading leaves the page as it was, with one line saying why.
    const problem = el('div');
    return every(5000, async () => {
        try {
            await draw();
            problem.remove();
        } catch (err) {
            problem.replaceChildren(error_box(err));
            main.prepend(problem);
        }
    });
}
