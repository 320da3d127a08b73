# load-csv: a 20 MB file of 250000 records
import csv, io
record = '4711,"Smith, John",2026-12-11,1234.50,"He said ""hi""",Paris,yes,,"two\nlines"\r\n'
text = record * 250000
rows = list(csv.reader(io.StringIO(text, newline="")))
print(len(rows), repr(rows[-1][-1]))
