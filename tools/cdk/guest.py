"""Facts of the qemu test guest (scripts/guest/build-image.sh makes it) that the host side
needs: where its image is cached and where its ready Wine prefix lies inside it."""

import os

# The cached image: vmlinuz, initrd.img, disk.raw and stamp.
IMAGE_CACHE = os.environ.get("CDK_GUEST_CACHE") or os.path.expanduser("~/.cache/cdk-guest")
# The guest's ready Wine prefix; its Unix user is root.
PREFIX = "/opt/cdk/wineprefix"
