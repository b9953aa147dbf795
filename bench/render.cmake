tallisyn_bench(render LIBS tallisyn_engine)
