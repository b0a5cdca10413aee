#!/usr/bin/python3
# The zoning of a switch as code: `telvar zone_apply` with the zoning given here, which changes
# only what differs. Check mode shows the plan without changing anything; with --diff the plan
# is the task's diff, in check mode and out of it.
DOCUMENTATION = r"""
module: telvar_zoning
short_description: Makes the zoning of a Fibre Channel switch what it is told
description:
  - Runs C(telvar --json zone_apply) against one switch. The zoning has the form of a
    snapshot's zoning (ns_zoning, hard, name_server, broadcast, sl, wwn); kinds left out are
    left as they are. Reports changed when the switch's zoning had to change.
  - In check mode it runs C(zone_apply --dry-run). In diff mode the diff is the plan, as
    C(telvar zone_apply --dry-run) prints it.
options:
  switch: {description: IPv4 address of the switch, required: true, type: str}
  zoning: {description: The zoning, required: true, type: dict}
  save: {description: Save the changed zoning on the switch, default: false, type: bool}
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
import os
import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible.module_utils.telvar_tool import COMMON_OPTIONS, REQUIRED_BY, run_telvar


def plan_text(result):
    """The plan as the text report of zone_apply prints it."""
    lines = ["zoning of %s: plan" % result.get("switch", "")]
    lines += ["  " + s for s in result.get("plan", [])]
    lines += ["  note: " + n for n in result.get("notes", [])]
    return "\n".join(lines) + "\n"


def main():
    module = AnsibleModule(
        argument_spec=dict(COMMON_OPTIONS, zoning=dict(type="dict", required=True),
                           save=dict(type="bool", default=False)),
        required_by=REQUIRED_BY, supports_check_mode=True)
    p = module.params
    with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as f:
        json.dump({"zoning": p["zoning"]}, f)
        path = f.name
    try:
        words = ["--json", "zone_apply"]
        words += ["--dry-run"] if module.check_mode else []
        words += ["-s"] if p["save"] else []
        rc, out, err = run_telvar(module, words, [path])
    finally:
        os.unlink(path)
    # 0: nothing to change, 1: changed (or would change in check mode), 2 and 3: failures.
    try:
        result = json.loads(out) if out.strip() else {}
    except ValueError:
        result = {}
    if rc not in (0, 1) or not result:
        module.fail_json(msg="telvar zone_apply failed: " + err.strip(), rc=rc, result=result)
    extra = {}
    if module._diff and result.get("plan"):
        extra["diff"] = {"prepared": plan_text(result)}
    module.exit_json(changed=(rc == 1), plan=result.get("plan", []), notes=result.get("notes", []),
                     done=result.get("done", []), **extra)


if __name__ == "__main__":
    main()
