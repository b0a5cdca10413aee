// The login page: a token of the tokens file is exchanged for a session cookie (HttpOnly, so
// this page never sees it); then the console itself.
const form = document.getElementById('login');
const message = document.getElementById('message');

form.addEventListener('submit', async e => {
    e.preventDefault();
    message.hidden = true;
    let text = '';
    try {
        const answer = await fetch('/login', {
            method: 'POST',
            credentials: 'same-origin',
            headers: {'Content-Type': 'application/json'},
            body: JSON.stringify({token: document.getElementById('token').value}),
        });
        if (answer.ok) {
            location.assign('/');
            return;
        }
        text = `${answer.status} ${answer.statusText}`;
        const body = await answer.json().catch(() => null);
        if (body && typeof body.error === 'string') text = body.error;
        const wait = answer.headers.get('Retry-After');
        if (answer.status === 429 && wait) text += ` (try again in ${wait} s)`;
    } catch (err) {
        text = `telvard did not answer: ${err.message}`;
    }
    message.textContent = text;
    message.hidden = false;
});
