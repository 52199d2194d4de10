# The two commands of the README, `make demo` and `make test`, and `make screenshots`.
.PHONY: demo test setup clean screenshots

setup:
	bash scripts/setup.sh

test:
	bash scripts/test-all.sh

demo:
	CDK_DEMO_ARGS='$(ARGS)' bash scripts/demo.sh

# Every message box of the launcher as a picture in build/screenshots (scripts/screenshots.sh).
screenshots:
	bash scripts/screenshots.sh

clean:
	rm -rf build
