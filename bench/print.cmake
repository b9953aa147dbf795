tallisyn_bench(print LIBS tallisyn_engine)
