"""What the project's scripts and test harnesses share: reading a built launcher (pe), its
message texts (messages), the payload table (payload), Wine prefixes (wine) and the front end
of the harness programs (cli).

Entry scripts put the folder `tools` on sys.path and `import cdk.<module>`; nothing here runs
on import, and nothing needs a package beyond Python's own library.
"""

import os

# The source tree this package belongs to.
ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
