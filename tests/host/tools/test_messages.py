"""The message-text parser reads MessageTexts.def as the C preprocessor does."""

import os
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..",
                                "tools"))

from cdk.messages import parse  # noqa: E402


class MessageTexts(unittest.TestCase):
    def test_texts_as_the_preprocessor_joins_them(self):
        cases = [
            ('CDK_MESSAGE(A, 4, "a", "b", "c")', {4: ("a", "b", "c")}),
            # Adjacent literals and a string macro join; "\n" is a line break.
            ('#define URL "https://x.example/p"\n'
             'CDK_MESSAGE(A, 121, "see " URL ".", "x\\ny", "\\"q\\"")',
             {121: ("see https://x.example/p.", "x\ny", '"q"')}),
            # Comments go, but "//" and "," inside a literal are text.
            ('// CDK_MESSAGE(X, 1, "", "", "")\n'
             'CDK_MESSAGE(B, 7, // english\n "a // b, c", /* j */ "d", "e")',
             {7: ("a // b, c", "d", "e")}),
        ]
        for source, expected in cases:
            with self.subTest(source=source):
                texts = parse(source)
                self.assertEqual({k: tuple(v[lang] for lang in (1033, 1041, 2052))
                                  for k, v in texts.items()}, expected)

    def test_malformed_definitions_are_refused(self):
        for source in ('CDK_MESSAGE(A, 4, "a", "b")',  # a translation missing
                       'CDK_MESSAGE(A, 4, "a", "b", UNKNOWN)',
                       'CDK_MESSAGE(A, 4, "a\\q", "b", "c")',  # an escape C would not take
                       'MESSAGE(A, 4, "a", "b", "c")'):
            with self.subTest(source=source):
                with self.assertRaises(ValueError):
                    parse(source)


if __name__ == "__main__":
    unittest.main()
