# Sorting time against input size, log-log.  Set by report.py: data (the
# folder of the .dat files), nlogn and square (the constants of the two
# guides).
set title "Whole-run time of the sorting programs against the count of numbers"
set xlabel "count of numbers n"
set ylabel "time per run (s)"
set logscale xy
set format x "10^{%L}"
set format y "10^{%L}"
set xrange [50:3e7]
set yrange [3e-4:30]
set grid xtics ytics mxtics mytics lc rgb "#dddddd"
set key bottom right box opaque
set samples 200
plot data."/sort-quick.dat" using 1:2:3 with yerrorlines lw 2 pt 7 title "quick\\_sort\\_b2", \
     data."/sort-heap.dat" using 1:2:3 with yerrorlines lw 2 pt 5 title "heap\\_sort\\_b2", \
     data."/sort-record.dat" using 1:2:3 with yerrorlines lw 2 pt 9 title "record\\_sort\\_b2 (bubble sort)", \
     nlogn * x * log(x) / log(2) with lines dt 2 lw 1.5 lc rgb "#444444" title "∝ n log n, through quick\\_sort at 10^7", \
     (x <= 1e5 ? square * x * x : 1/0) with lines dt 4 lw 1.5 lc rgb "#aa0000" title "∝ n^2, through record\\_sort at 2·10^4"
