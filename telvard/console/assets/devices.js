// The Devices page: find a device by WWN (with or without colons), FC address, CHASSIS:PORT or a
// part of its symbolic names; each result says where the device is and which zones it is in.
import {api, el, filter_form, switch_link, table} from './common.js';

function names(d) {
    return [d.port_name, d.node_name].filter(n => n).join(' / ');
}

export async function show(main, {fabric, params}) {
    const form = filter_form('devices', params, [{name: 'q', label: 'Device', placeholder: 'WWN, FC address, 1:3 or name'}], 'Find');
    main.replaceChildren(el('h1', {}, 'Devices'), form);
    const q = (params.q || '').trim();
    if (!q) {
        main.append(el('p', {class: 'quiet'}, 'A WWN such as 21:00:00:00:5e:01:03:01 or 210000005e010301, an FC address (0x104201), a port (1:3), or a part of a name.'));
        form.querySelector('input').focus();
        return;
    }
    const r = await api('/api/devices', {fabric, q});
    const columns = [
        {title: 'Port WWN', value: f => f.device.port_wwn, class: () => 'mono'},
        {title: 'Node WWN', value: f => f.device.node_wwn, class: () => 'mono'},
        {title: 'FC address', value: f => f.device.fc_address},
        {title: 'Names', value: f => names(f.device)},
        {title: 'Switch', value: f => switch_link(fabric, f.switch)},
        {title: 'Port', value: f => f.port},
        {title: 'Port type', value: f => f.port_type},
        {title: 'Zones', value: f => (f.zones || []).map(z => `${z.type.replaceAll('_', ' ')} ${z.id} (chassis ${z.chassis})`).join(', ') || 'none'},
    ];
    main.append(el('p', {class: 'quiet', id: 'wanted'}, `Looked for ${r.wanted}: ${r.found.length} found.`),
                table(columns, r.found, 'No device matches.'));
}
