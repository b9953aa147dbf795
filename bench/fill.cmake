tallisyn_bench(fill LIBS tallisyn_raster)
