# Lê um campos.vti com o leitor XML do próprio VTK (python3-vtk9 do Debian,
# pelo Python do sistema) e escreve, uma linha cada, o que ele entendeu: a
# grade, os pontos, os vetores e os valores, os números em hexadecimal
# (float.hex: os bits exatos).
#   /usr/bin/python3 ler_campos_vti.py campos.vti
import sys

from vtkmodules.vtkIOXML import vtkXMLImageDataReader

leitor = vtkXMLImageDataReader()
leitor.SetFileName(sys.argv[1])
leitor.Update()
if leitor.GetErrorCode() != 0:
    sys.exit("erro do leitor do VTK: %d" % leitor.GetErrorCode())
grade = leitor.GetOutput()
saida = []
saida.append("dimensoes %d %d %d" % grade.GetDimensions())
saida.append("origem " + " ".join(c.hex() for c in grade.GetOrigin()))
saida.append("espacamento " + " ".join(c.hex() for c in grade.GetSpacing()))
saida.append("pontos " + " ".join(c.hex() for k in range(grade.GetNumberOfPoints()) for c in grade.GetPoint(k)[:2]))
pontos = grade.GetPointData()
saida.append("escalares " + pontos.GetScalars().GetName())
saida.append("vetores " + pontos.GetVectors().GetName())
for i in range(pontos.GetNumberOfArrays()):
    vetor = pontos.GetArray(i)
    valores = (vetor.GetComponent(t, c) for t in range(vetor.GetNumberOfTuples())
               for c in range(vetor.GetNumberOfComponents()))
    saida.append("vetor %d %s" % (vetor.GetNumberOfComponents(), vetor.GetName()))
    saida.append(" ".join(v.hex() for v in valores))
sys.stdout.buffer.write(("\n".join(saida) + "\n").encode("utf-8"))
