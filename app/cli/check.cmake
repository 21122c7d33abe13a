# --check and --write-suggested.
