# The two commands of the README: `make demo` and `make test`.
.PHONY: demo test setup clean

setup:
	bash scripts/setup.sh

test:
	bash scripts/test-all.sh

demo:
	CDK_DEMO_ARGS='$(ARGS)' bash scripts/demo.sh

clean:
	rm -rf build
