# cmake --graphviz=deps.dot: our targets only, without the flags target every one links.
set(GRAPHVIZ_EXTERNAL_LIBS FALSE)
set(GRAPHVIZ_IGNORE_TARGETS kv_flags)
