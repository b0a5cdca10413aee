// Pictures from the server (the fabric map, a front panel) drawn inline without ever being
// parsed as HTML: the SVG is parsed as XML, then copied element by element and attribute by
// attribute from an allow list of drawing elements into the page. Scripts, event handlers,
// foreign objects, links and references outside the picture are dropped; texts are copied as
// text nodes. This lets the map's switches become links to their pages, which an <img> cannot.

const svg_ns = 'http://www.w3.org/2000/svg';

const drawing = new Set(['svg', 'g', 'path', 'polygon', 'polyline', 'ellipse', 'circle', 'rect', 'line',
                         'text', 'tspan', 'title', 'desc', 'defs', 'pattern']);
const kept = new Set(['id', 'class', 'd', 'points', 'cx', 'cy', 'r', 'rx', 'ry', 'x', 'y', 'x1', 'y1', 'x2',
                      'y2', 'dx', 'dy', 'width', 'height', 'viewBox', 'transform', 'fill', 'stroke',
                      'stroke-width', 'stroke-dasharray', 'stroke-linecap', 'stroke-linejoin', 'fill-opacity',
                      'stroke-opacity', 'opacity', 'font-family', 'font-size', 'font-weight', 'font-style',
                      'text-anchor', 'dominant-baseline', 'patternUnits', 'patternTransform',
                      'preserveAspectRatio']);

// A paint may name a pattern of the picture itself (url(#hatch)), nothing outside it.
const outside_reference = /url\s*\(\s*['"]?\s*[^#'"\s]/i;

export function safe_svg(text, link_for = () => null) {
    const doc = new DOMParser().parseFromString(text, 'image/svg+xml');
    const root = doc.documentElement;
    if (doc.getElementsByTagName('parsererror').length > 0 || root.namespaceURI !== svg_ns || root.localName !== 'svg')
        throw new Error('the server sent a picture that is not SVG');
    const svg = copy(root, link_for)[0];
    svg.removeAttribute('id');
    return svg;
}

function copy(node, link_for) {
    const out = document.createElementNS(svg_ns, node.localName);
    for (const a of node.attributes)
        if (a.namespaceURI === null && kept.has(a.name) && !outside_reference.test(a.value)) out.setAttribute(a.name, a.value);
    for (const c of node.childNodes) {
        if (c.nodeType === Node.TEXT_NODE) out.append(document.createTextNode(c.data));
        else if (c.nodeType !== Node.ELEMENT_NODE || c.namespaceURI !== svg_ns) continue;
        else if (drawing.has(c.localName)) out.append(...copy(c, link_for));
        else if (c.localName === 'a') for (const g of c.childNodes) if (g.nodeType === Node.ELEMENT_NODE && drawing.has(g.localName)) out.append(...copy(g, link_for));
    }
    const href = node.localName === 'g' ? link_for(node.getAttribute('id') || '') : null;
    if (!href) return [out];
    const a = document.createElementNS(svg_ns, 'a');
    a.setAttribute('href', href);
    a.append(out);
    return [a];
}
