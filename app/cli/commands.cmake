# --install, --inspect, --help, --version and the dispatch.
