"""The launcher's message texts as the C preprocessor sees MessageTexts.def: each
CDK_MESSAGE(symbol, id, english, japanese, chinese) with its adjacent string literals and
string macros joined, escapes resolved, comments left out."""

import os
import re

from . import ROOT

MESSAGE_TEXTS = os.path.join(ROOT, "src", "windows", "common", "messages", "MessageTexts.def")
# The languages of the string table, by LANGID, in the order of CDK_MESSAGE's texts.
LANGUAGES = (1033, 1041, 2052)

_DEFINE = re.compile(r"^[ \t]*#[ \t]*define[ \t]+(\w+)[ \t]+(.*)$", re.M)
_TOKEN = re.compile(r'\s+|//[^\n]*|/\*.*?\*/|"(?:[^"\\\n]|\\.)*"|\w+|.', re.S)
_ESCAPES = {"n": "\n", "t": "\t", '"': '"', "'": "'", "\\": "\\"}


def _tokens(source):
    for match in _TOKEN.finditer(source):
        token = match.group(0)
        if not (token.isspace() or token.startswith("//") or token.startswith("/*")):
            yield token


def _literal(token):
    def escape(match):
        if match.group(1) not in _ESCAPES:
            raise ValueError(f"unknown escape \\{match.group(1)} in {token}")
        return _ESCAPES[match.group(1)]

    return re.sub(r"\\(.)", escape, token[1:-1])


def _join(tokens, macros, where):
    """The text of adjacent string literals and string macros."""
    text = ""
    for token in tokens:
        if token.startswith('"'):
            text += _literal(token)
        elif token in macros:
            text += macros[token]
        else:
            raise ValueError(f"{where}: {token!r} is neither a string literal nor a string macro")
    return text


def parse(source):
    """{id: {LANGID: text}} of every CDK_MESSAGE in the source text."""
    macros = {}
    for name, value in _DEFINE.findall(source):
        macros[name] = _join(list(_tokens(value)), macros, f"#define {name}")
    tokens = list(_tokens(_DEFINE.sub("", source)))
    messages = {}
    at = 0
    while at < len(tokens):
        if tokens[at] != "CDK_MESSAGE" or tokens[at + 1:at + 2] != ["("]:
            raise ValueError(f"expected CDK_MESSAGE( at token {at}, found {tokens[at]!r}")
        arguments, current, at = [], [], at + 2
        while at < len(tokens) and tokens[at] != ")":
            if tokens[at] == ",":
                arguments.append(current)
                current = []
            else:
                current.append(tokens[at])
            at += 1
        arguments.append(current)
        at += 1
        if len(arguments) != 2 + len(LANGUAGES) or len(arguments[1]) != 1:
            raise ValueError(f"CDK_MESSAGE({' '.join(arguments[0])}, ...) does not have a "
                             f"symbol, an id and {len(LANGUAGES)} texts")
        ident = int(arguments[1][0])
        messages[ident] = {language: _join(text, macros, f"message {ident}")
                           for language, text in zip(LANGUAGES, arguments[2:])}
    return messages


def message_texts(path=MESSAGE_TEXTS):
    """{id: {LANGID: text}} from a MessageTexts.def file (default: this source tree's)."""
    with open(path, encoding="utf-8") as f:
        return parse(f.read())
