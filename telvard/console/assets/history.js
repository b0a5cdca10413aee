// The History page: the changes telvard recorded, filtered by time, switch and kind, and the
// fabric compared between two times.
import {api, el, filter_form, switch_link, table, window_count, window_filters} from './common.js';

// The kinds of rows the history carries (docs/history.md), offered as the kind filter's choices.
const kinds = ['switch', 'identity', 'chassis', 'system', 'port', 'link', 'route', 'zone', 'wwn_zone', 'ns_zoning',
               'traps', 'trap_code', 'device', 'fabric', 'attached', 'initiators'];

export async function show(main, {fabric, params}) {
    const filters = filter_form('history', params, [
        ...window_filters,
        {name: 'kind', label: 'Kind', placeholder: 'port,zone', list: 'kinds'},
    ], 'Show', ['from', 'to']);
    const diff_form = filter_form('history', params, [
        {name: 'from', label: 'From', placeholder: '1h or a time'},
        {name: 'to', label: 'To', placeholder: 'now'},
    ], 'Compare', ['since', 'until', 'switch', 'kind']);
    const timeline = el('section', {id: 'timeline'}), diff = el('section', {id: 'diff'});
    main.replaceChildren(el('h1', {}, 'History'), el('datalist', {id: 'kinds'}, kinds.map(k => el('option', {value: k}))),
                         filters, timeline, el('h2', {}, 'The fabric between two times'), diff_form, diff);

    const h = await api('/api/history', {fabric, since: params.since, until: params.until, switch: params.switch, kind: params.kind});
    const columns = [
        {title: 'Time', value: r => r.time, class: () => 'mono'},
        {title: 'Switch', value: r => switch_link(fabric, r.switch)},
        {title: 'Kind', value: r => r.kind},
        {title: 'Key', value: r => r.key},
        {title: 'Change', value: r => r.text},
    ];
    timeline.replaceChildren(window_count(h.changes, 'change'), table(columns, h.changes, 'No change recorded in this window.'));

    if (!params.from) {
        diff.replaceChildren(el('p', {class: 'quiet'}, 'Give a time to compare the fabric then with the fabric now (or at another time).'));
        return;
    }
    const d = await api('/api/diff', {fabric, from: params.from, to: params.to});
    diff.replaceChildren(el('p', {}, d.equal ? `The fabric at ${d.from} and at ${d.to} is the same.`
                                             : `From ${d.from} to ${d.to}:`),
                         d.equal ? null : table([{title: 'Subject', value: c => c.subject}, {title: 'Change', value: c => c.text}], d.changes));
}

