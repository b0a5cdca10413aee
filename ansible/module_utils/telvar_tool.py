# What the telvar modules share: the options that say how to reach a switch, and running the
# tool with them. The password goes to the tool in its environment (TELVAR_PASSWORD), never
# on its command line, where any user of the machine could read it.
COMMON_OPTIONS = dict(
    switch=dict(type="str", required=True),
    telvar=dict(type="str", default="telvar"),
    local_port=dict(type="int", default=0),
    user=dict(type="str"),
    password=dict(type="str", no_log=True),
)

# Without `user` nothing logs in, so a password alone is a mistake worth saying.
REQUIRED_BY = dict(password="user")


def run_telvar(module, words, operands):
    """Runs `telvar WORDS [-u USER] SWITCH OPERANDS...`; returns (rc, stdout, stderr)."""
    p = module.params
    env = dict(TELVARPORT=str(p["local_port"]))
    login = []
    if p["user"]:
        login = ["-u", p["user"]]
        # Without a password here, the tool takes TELVAR_PASSWORD from Ansible's own environment.
        if p["password"] is not None:
            env["TELVAR_PASSWORD"] = p["password"]
    return module.run_command([p["telvar"]] + words + login + [p["switch"]] + operands, environ_update=env)
