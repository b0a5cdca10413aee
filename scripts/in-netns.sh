#!/bin/sh
# Runs a command in a network namespace of its own, with its own loopback interface, when the
# system allows it (as root, or through an unprivileged user namespace); otherwise runs it as
# it is. The tests bind fixed loopback addresses: a namespace of their own keeps each test clear
# of anything else on the machine (a running simulator, the demo, another test run).
# TELVAR_OWN_NETNS=1 tells a test that it may hold what others on the machine would use (the
# tool's default local port).
for how in "-n" "-rn"; do
    if unshare $how sh -c 'ip link set lo up' >/dev/null 2>&1; then
        exec unshare $how sh -c 'ip link set lo up && TELVAR_OWN_NETNS=1 exec "$@"' sh "$@"
    fi
done
exec "$@"
