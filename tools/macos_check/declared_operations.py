"""Prints the mangled name of every operation that the platform headers declare
for a binding to define: the functions of namespace system_audio::apple
that are neither inline nor constexpr and have no body in the headers. Reads
clang's JSON syntax tree of a file that includes the headers on stdin."""

import json
import sys


def operations(node, namespaces):
    kind = node.get("kind")
    if kind == "NamespaceDecl":
        namespaces = namespaces + [node.get("name", "")]
    elif kind == "FunctionDecl":
        has_body = any(inner.get("kind") == "CompoundStmt" for inner in node.get("inner", []))
        if (namespaces == ["system_audio", "apple"] and not node.get("inline")
                and not node.get("constexpr") and not has_body):
            yield node["mangledName"]
        return
    elif kind not in ("TranslationUnitDecl", "LinkageSpecDecl"):
        return
    for inner in node.get("inner", []):
        yield from operations(inner, namespaces)


for name in sorted(set(operations(json.load(sys.stdin), []))):
    print(name)
