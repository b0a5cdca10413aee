#!/usr/bin/python3
# The zoning of a switch as code: `telvar zone_apply` with the zoning given here, which changes
# only what differs. Check mode shows the plan without changing anything.
DOCUMENTATION = r"""
module: telvar_zoning
short_description: Makes the zoning of a Fibre Channel switch what it is told
description:
  - Runs C(telvar --json zone_apply) against one switch. The zoning has the form of a
    snapshot's zoning (ns_zoning, hard, name_server, broadcast, sl, wwn); kinds left out are
    left as they are. Reports changed when the switch's zoning had to change.
options:
  switch: {description: IPv4 address of the switch, required: true, type: str}
  zoning: {description: The zoning, required: true, type: dict}
  save: {description: Save the changed zoning on the switch, default: false, type: bool}
  telvar: {description: Path of the telvar tool, default: telvar, type: str}
  local_port: {description: Local UDP port (0 lets the system choose), default: 0, type: int}
"""
import json
import os
import tempfile

from ansible.module_utils.basic import AnsibleModule


def main():
    module = AnsibleModule(
        argument_spec=dict(switch=dict(type="str", required=True),
                           zoning=dict(type="dict", required=True),
                           save=dict(type="bool", default=False),
                           telvar=dict(type="str", default="telvar"),
                           local_port=dict(type="int", default=0)),
        supports_check_mode=True)
    p = module.params
    with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as f:
        json.dump({"zoning": p["zoning"]}, f)
        path = f.name
    try:
        cmd = [p["telvar"], "--json", "zone_apply"]
        cmd += ["--dry-run"] if module.check_mode else []
        cmd += ["-s"] if p["save"] else []
        env = dict(os.environ, TELVARPORT=str(p["local_port"]))
        rc, out, err = module.run_command(cmd + [p["switch"], path], environ_update=env)
    finally:
        os.unlink(path)
    # 0: nothing to change, 1: changed (or would change in check mode), 2 and 3: failures.
    try:
        result = json.loads(out) if out.strip() else {}
    except ValueError:
        result = {}
    if rc not in (0, 1) or not result:
        module.fail_json(msg="telvar zone_apply failed: " + err.strip(), rc=rc, result=result)
    module.exit_json(changed=(rc == 1), plan=result.get("plan", []), notes=result.get("notes", []),
                     done=result.get("done", []))


if __name__ == "__main__":
    main()
