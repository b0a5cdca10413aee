// The Events page: the traps telvard received, filtered by time and switch, newest last.
import {api, el, filter_form, switch_link, table, window_count, window_filters} from './common.js';

export async function show(main, {fabric, params}) {
    const form = filter_form('events', params, window_filters);
    main.replaceChildren(el('h1', {}, 'Events'), form);
    const e = await api('/api/events', {fabric, since: params.since, until: params.until, switch: params.switch});
    const columns = [
        {title: 'Time', value: r => r.time, class: () => 'mono'},
        {title: 'Switch', value: r => switch_link(fabric, r.switch)},
        {title: 'Sender', value: r => r.sender},
        {title: 'Unit', value: r => r.unit},
        {title: 'Code', value: r => r.code},
        {title: 'Trap', value: r => r.description},
        {title: 'Alert', value: r => r.alert, class: r => r.alert === 'rising' ? 'failed' : null},
        {title: 'Value', value: r => r.value, class: () => 'number'},
        {title: 'Change', value: r => r.change, class: () => 'number'},
    ];
    main.append(window_count(e.events, 'event'), table(columns, e.events, 'No trap recorded in this window.'));
}
