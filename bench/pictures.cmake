tallisyn_bench(pictures LIBS tallisyn_shapes)
