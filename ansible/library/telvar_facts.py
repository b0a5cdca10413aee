#!/usr/bin/python3
# The fabric of a switch as Ansible facts: `telvar snapshot` of the switch, under
# ansible_facts.telvar_snapshot (the document of docs/json.md).
DOCUMENTATION = r"""
module: telvar_facts
short_description: Snapshot of a Fibre Channel fabric as facts
description:
  - Runs C(telvar snapshot) against one switch and returns the document as the fact
    C(telvar_snapshot). Reads only; never reports a change.
options:
  switch: {description: IPv4 address of the switch, required: true, type: str}
  telvar: {description: Path of the telvar tool, default: telvar, type: str}
  local_port: {description: Local UDP port (0 lets the system choose), default: 0, type: int}
"""
import json
import os

from ansible.module_utils.basic import AnsibleModule


def main():
    module = AnsibleModule(
        argument_spec=dict(switch=dict(type="str", required=True),
                           telvar=dict(type="str", default="telvar"),
                           local_port=dict(type="int", default=0)),
        supports_check_mode=True)
    p = module.params
    env = dict(os.environ, TELVARPORT=str(p["local_port"]))
    rc, out, err = module.run_command([p["telvar"], "snapshot", p["switch"]], environ_update=env)
    try:
        doc = json.loads(out)
    except ValueError:
        module.fail_json(msg="telvar snapshot failed: " + err.strip(), rc=rc)
    warnings = [err.strip()] if rc != 0 and err.strip() else []
    module.exit_json(changed=False, ansible_facts={"telvar_snapshot": doc}, rc=rc, warnings=warnings)


if __name__ == "__main__":
    main()
