tallisyn_bench(xml LIBS tallisyn_persist)
