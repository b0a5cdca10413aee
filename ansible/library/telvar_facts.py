#!/usr/bin/python3
# The fabric of a switch as Ansible facts: `telvar snapshot` of the switch, under
# ansible_facts.telvar_snapshot (the document of docs/json.md).
DOCUMENTATION = r"""
module: telvar_facts
short_description: Snapshot of a Fibre Channel fabric as facts
description:
  - Runs C(telvar snapshot) against one switch and returns the document as the fact
    C(telvar_snapshot). Reads only; never reports a change.
  - A snapshot in which some switches did not answer fully is returned with a warning and
    the tool's I(exit_status) 2; each switch's C(status) says how far it was read.
options:
  switch: {description: IPv4 address of the switch, required: true, type: str}
  telvar: {description: Path of the telvar tool, default: telvar, type: str}
  local_port: {description: Local UDP port (0 lets the system choose), default: 0, type: int}
  user:
    description: Logs in as this user, for switches that require a login (C(telvar -u)).
    type: str
  password:
    description:
      - Password of I(user), handed to telvar in its environment (C(TELVAR_PASSWORD)), never
        on its command line. Without it, C(TELVAR_PASSWORD) of Ansible's environment.
    type: str
"""
import json

from ansible.module_utils.basic import AnsibleModule
from ansible.module_utils.telvar_tool import COMMON_OPTIONS, REQUIRED_BY, run_telvar


def main():
    module = AnsibleModule(argument_spec=dict(COMMON_OPTIONS), required_by=REQUIRED_BY,
                           supports_check_mode=True)
    rc, out, err = run_telvar(module, ["snapshot"], [])
    try:
        doc = json.loads(out)
    except ValueError:
        module.fail_json(msg="telvar snapshot failed: " + err.strip(), rc=rc)
    # A snapshot with switches that did not answer fully is still the fabric as far as it was
    # read (each switch's status says how far): facts, with the tool's complaint as a warning.
    # Its exit status is not returned as rc, which Ansible would take for the task's failure.
    warnings = [err.strip()] if rc != 0 and err.strip() else []
    module.exit_json(changed=False, ansible_facts={"telvar_snapshot": doc}, exit_status=rc,
                     warnings=warnings)


if __name__ == "__main__":
    main()
