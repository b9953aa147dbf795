tallisyn_bench(storage LIBS tallisyn_persist)
