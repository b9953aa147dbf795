tallisyn_bench(jpeg LIBS tallisyn_persist)
