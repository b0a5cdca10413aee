// The Zoning page: the zones of every switch and the lint findings; a zoning document pasted,
// edited or uploaded, previewed as the plan against one switch, and applied after a
// confirmation. The server decides who may apply (administrators) and checks the CSRF token;
// the page shows its answer, refusals included, as it comes.
import {api, el, table, error_box} from './common.js';

const kinds = ['hard', 'name_server', 'broadcast', 'sl'];
const largest_upload = 4 << 20;

function zones_of(zoning) {
    const parts = [el('p', {}, `Name-server zoning by ${zoning.ns_zoning || '—'}.`)];
    const rows = kinds.flatMap(k => (zoning[k] || []).map(z => ({kind: k, ...z})));
    const columns = [
        {title: 'Type', value: z => z.kind.replaceAll('_', ' ')},
        {title: 'Zone', value: z => z.id},
        {title: 'Enabled', value: z => z.enabled === undefined ? '—' : (z.enabled ? 'yes' : 'no')},
        {title: 'Ports', value: z => (z.ports || []).join(' ')},
    ];
    parts.push(table(columns, rows, 'No port zone.'));
    if ((zoning.wwn || []).length > 0)
        parts.push(table([{title: 'WWN', value: w => w.wwn, class: () => 'mono'}, {title: 'WWN zones', value: w => w.zones.join(' ')}],
                         zoning.wwn));
    return parts;
}

function outcome(r) {
    const ok = r.status && r.status.code === 0;
    const parts = [el('p', {class: ok ? 'ok' : 'error'},
                      r.dry_run ? `Plan for ${r.switch}: ${r.plan.length} step${r.plan.length === 1 ? '' : 's'}.`
                                : `${r.switch}: ${r.status.message}; ${r.changed ? 'changed' : 'nothing changed'}.`)];
    if (r.plan && r.plan.length) parts.push(el('ol', {class: 'plan', id: 'plan'}, r.plan.map(s => el('li', {}, s))));
    else parts.push(el('p', {id: 'plan'}, 'The switch already holds this zoning: nothing to change.'));
    if (r.notes && r.notes.length) parts.push(el('ul', {class: 'quiet'}, r.notes.map(n => el('li', {}, n))));
    if (r.steps) parts.push(el('ul', {}, r.steps.map(s => el('li', {}, `${s.outcome}: ${s.step}`))));
    if (r.saves && r.saves.length) parts.push(el('ul', {}, r.saves.map(s => el('li', {}, `${s.outcome}: ${s.kind} zoning`))));
    if (r.recorded !== undefined) parts.push(el('p', {class: 'quiet'}, r.recorded ? 'Recorded in the history.' : 'Not yet in the history.'));
    return parts;
}

export async function show(main, {fabric, session}) {
    const z = await api('/api/zoning', {fabric});
    const switches = z.switches || [];
    const doc = el('textarea', {id: 'document', rows: 14, spellcheck: 'false',
                                placeholder: '{"zoning": {"hard": [{"id": 1, "enabled": true, "ports": [1, 2]}]}}'});
    const target = el('select', {id: 'target'}, switches.map(s => el('option', {value: s.chassis}, `chassis ${s.chassis} (${s.wwn})`)));
    const file = el('input', {type: 'file', id: 'upload', accept: '.json,application/json'});
    const save = el('input', {type: 'checkbox', id: 'save'});
    const result = el('div', {id: 'result', 'aria-live': 'polite'});
    const confirm_text = el('p');
    const dialog = el('dialog', {id: 'confirm'}, el('form', {method: 'dialog'}, el('h2', {}, 'Apply this zoning?'), confirm_text,
        el('div', {class: 'buttons'}, el('button', {value: 'cancel', id: 'cancel'}, 'Cancel'),
           el('button', {value: 'apply', id: 'confirm_apply', class: 'danger'}, 'Apply'))));

    const current = () => switches.find(s => String(s.chassis) === target.value);
    const parsed = () => {
        try {
            const d = JSON.parse(doc.value);
            if (d === null || typeof d !== 'object' || Array.isArray(d)) throw new Error('it is not a JSON object');
            return d;
        } catch (err) {
            throw new Error(`The document is not valid JSON: ${err.message}`);
        }
    };
    const run = async (what, body) => {
        result.replaceChildren(el('p', {class: 'quiet'}, what === 'preview' ? 'Planning…' : 'Applying…'));
        try {
            const r = await api(`/api/zoning/${what}`, {fabric, chassis: target.value}, {method: 'POST', body});
            result.replaceChildren(...outcome(r));
            return r;
        } catch (err) {
            result.replaceChildren(error_box(err));
            return null;
        }
    };
    const preview = async () => {
        try {
            return await run('preview', parsed());
        } catch (err) {
            result.replaceChildren(error_box(err));
            return null;
        }
    };
    const apply = async () => {
        const plan = await preview();
        if (!plan) return;
        confirm_text.textContent = `${plan.plan.length} step${plan.plan.length === 1 ? '' : 's'} on chassis ${target.value}` +
                                   `${save.checked ? ', then saved' : ''}. This changes the switch.`;
        dialog.returnValue = '';
        dialog.showModal();
        dialog.addEventListener('close', async () => {
            if (dialog.returnValue !== 'apply') return;
            const r = await run('apply', {confirm: true, save: save.checked, zoning: parsed()});
            if (r) await show_zoning();
        }, {once: true});
    };
    file.addEventListener('change', async () => {
        const f = file.files[0];
        if (!f) return;
        if (f.size > largest_upload) {
            result.replaceChildren(error_box(`${f.name} is larger than ${largest_upload >> 20} MiB.`));
            return;
        }
        doc.value = await f.text();
    });

    const tables = el('section', {id: 'zones'});
    const show_zoning = async (read = null) => {
        const now = read || await api('/api/zoning', {fabric});
        switches.splice(0, switches.length, ...(now.switches || []));
        const findings = now.findings || [];
        tables.replaceChildren(
            el('p', {class: 'quiet'}, `As read at ${now.read_at}.`),
            ...switches.flatMap(s => [el('h3', {}, `Chassis ${s.chassis} `, el('span', {class: 'quiet mono'}, s.wwn)), ...zones_of(s.zoning || {})]),
            el('h2', {}, 'Findings'),
            table([{title: 'Chassis', value: f => f.chassis}, {title: 'Kind', value: f => f.kind.replaceAll('_', ' ')},
                   {title: 'Finding', value: f => f.text}], findings, 'No finding: the zoning is consistent.'));
    };
    const role_note = session.role === 'admin' ? null
        : el('p', {class: 'quiet'}, `You are logged in with a ${session.role} token: the server refuses to apply.`);
    main.replaceChildren(
        el('h1', {}, 'Zoning'),
        el('div', {class: 'split'},
           el('section', {}, el('h2', {}, 'Zones'), tables),
           el('section', {class: 'editor'}, el('h2', {}, 'Change the zoning'),
              el('label', {}, 'Switch ', target),
              el('div', {class: 'buttons'},
                 el('button', {type: 'button', id: 'load_current', onclick: () => {
                     const s = current();
                     doc.value = JSON.stringify({zoning: (s && s.zoning) || {}}, null, 2);
                 }}, 'Edit its zoning'),
                 el('label', {class: 'upload'}, 'or upload a file ', file)),
              doc,
              el('label', {}, save, ' save on the switch after applying'),
              el('div', {class: 'buttons'}, el('button', {type: 'button', id: 'preview', onclick: preview}, 'Preview'),
                 el('button', {type: 'button', id: 'apply', class: 'danger', onclick: apply}, 'Apply…')),
              role_note, result, dialog)));
    await show_zoning(z);
}
