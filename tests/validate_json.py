#!/usr/bin/python3
"""Validates JSON documents against a definition of docs/telvar.schema.json.

    validate_json.py SCHEMA DEFINITION=FILE ...

Prints one line per document that does not validate and exits 1 then; exits 0 when all do,
and 77 when the jsonschema module is missing (the caller skips).
"""
import json
import sys

try:
    import jsonschema
except ImportError:
    sys.exit(77)


def main():
    schema_path, pairs = sys.argv[1], sys.argv[2:]
    with open(schema_path) as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    failed = 0
    for pair in pairs:
        definition, path = pair.split("=", 1)
        if definition not in schema["$defs"]:
            print(f"{path}: no definition {definition}")
            failed += 1
            continue
        with open(path) as f:
            doc = json.load(f)
        validator = jsonschema.Draft202012Validator(
            {"$ref": f"#/$defs/{definition}", "$defs": schema["$defs"]})
        for error in validator.iter_errors(doc):
            print(f"{path} ({definition}): {'/'.join(map(str, error.absolute_path))}: {error.message}")
            failed += 1
    sys.exit(1 if failed else 0)


main()
