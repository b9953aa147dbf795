tallisyn_bench(document LIBS tallisyn_engine)
