#!/usr/bin/env python3
"""Parses the SQL Server statements that test_sqlserverstatements collected, and the SQL Server
schema script, with sqlfluff's T-SQL grammar; a statement that does not parse fails, named.

Usage: parse-statements.py STATEMENT_FOLDER SCHEMA_SCRIPT
Without sqlfluff the test skips (exit 77), unless KESTRIN_REQUIRE_SQLFLUFF=1 (CI).
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

# Parts of statements that SQL Server runs but the T-SQL grammar of sqlfluff 1.4.5 lacks: an
# unparsable section that matches one of these whole is no fault.
ALLOWED = [
    # Paging (Dialect::pageClause), SQL Server 2012 and later; sqlfluff 1.4.5 parses no OFFSET.
    r"OFFSET @p\d+ ROWS FETCH NEXT @p\d+ ROWS ONLY\s*",
    # The lock wait (Dialect::lockWait); sqlfluff 1.4.5 knows no SET LOCK_TIMEOUT.
    r"SET LOCK_TIMEOUT -?\d+\s*",
]

SKIP = 77


def with_parameters(statement):
    """The statement with each "?" outside quotes as @p1, @p2, ...: T-SQL's named parameters."""
    parts = re.split(r"('(?:[^']|'')*'|\"[^\"]*\"|\[[^\]]*\])", statement)
    number = 0
    for i in range(0, len(parts), 2):  # the even parts are outside quotes
        def named(_):
            nonlocal number
            number += 1
            return f"@p{number}"
        parts[i] = re.sub(r"\?", named, parts[i])
    return "".join(parts)


def unparsable(tree):
    """The unparsable sections of sqlfluff's parse tree (its JSON form)."""
    if isinstance(tree, dict):
        for key, value in tree.items():
            if key == "unparsable":
                yield value
            else:
                yield from unparsable(value)
    elif isinstance(tree, list):
        for value in tree:
            yield from unparsable(value)


def text(tree):
    """The source text of a part of the parse tree."""
    if isinstance(tree, str):
        return tree
    if isinstance(tree, dict):
        return "".join(text(value) for value in tree.values())
    return "".join(text(value) for value in tree)


def main():
    folder, schema = sys.argv[1], sys.argv[2]
    if shutil.which("sqlfluff") is None:
        print("sqlfluff is missing (Debian: apt-get install sqlfluff): the SQL Server statements are not parsed")
        return 1 if os.environ.get("KESTRIN_REQUIRE_SQLFLUFF") == "1" else SKIP
    names = sorted(n for n in os.listdir(folder) if n.endswith(".sql"))
    if not names:
        print(f"no statements in {folder}: test_sqlserverstatements collects them")
        return 1
    statements = {}
    for name in names:
        with open(os.path.join(folder, name), encoding="utf-8") as f:
            statements[name] = f.read().strip()
    with tempfile.TemporaryDirectory() as work:
        for name, statement in statements.items():
            with open(os.path.join(work, name), "w", encoding="utf-8") as f:
                f.write(with_parameters(statement) + "\n")
        shutil.copy(schema, os.path.join(work, os.path.basename(schema)))
        config = os.path.join(work, "sqlfluff.cfg")
        with open(config, "w", encoding="utf-8") as f:
            # No file is skipped for its size.
            f.write("[sqlfluff]\ndialect = tsql\nlarge_file_skip_byte_limit = 0\n")
        run = subprocess.run(["sqlfluff", "parse", "--nocolor", "--ignore-local-config", "--config", config,
                              "--dialect", "tsql", "--format", "json", work], capture_output=True, text=True, cwd=work)
    try:
        files = json.loads(run.stdout)
    except ValueError:
        print(run.stdout[-4000:], run.stderr[-4000:], sep="\n")
        return 1
    # A file that does not lex has no segments; one that does not parse has unparsable sections.
    failed = {}
    for parsed in files:
        name = os.path.basename(parsed["filepath"])
        if parsed["segments"] is None:
            failed[name] = ["does not lex"]
            continue
        sections = [text(section) for section in unparsable(parsed["segments"])]
        if faulty := [s for s in sections if not any(re.fullmatch(allowed, s) for allowed in ALLOWED)]:
            failed[name] = [f"unparsable: {section!r}" for section in faulty]
    if len(files) != len(statements) + 1:
        print(f"sqlfluff parsed {len(files)} files of {len(statements) + 1}")
        return 1
    for name, problems in sorted(failed.items()):
        print(f"Not T-SQL ({name}): {statements.get(name, schema)}")
        for problem in problems:
            print("    " + problem)
    print(f"{len(statements)} statements and the schema script parsed, {len(failed)} not T-SQL")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
