local sum, i = 0, 0
while i < 3000000 do sum = sum + (i % 7) i = i + 1 end
print(sum)
