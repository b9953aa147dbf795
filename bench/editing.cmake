tallisyn_bench(editing LIBS tallisyn_engine)
