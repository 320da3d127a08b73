def main():
    line = "4711,Smith,John,2026-12-11,1234.50,Paris,yes\n"
    text = line * (1000000 // len(line))
    fields = []
    for row in text.split("\n")[:-1]:
        fields.extend(row.split(","))
    print(len(fields))

main()
