#!/usr/bin/python3
# A figura do campos.vti na documentação, como o ParaView a mostra: a
# temperatura numérica no mapa de cores Cool to Warm e setas do deslocamento
# (Glyph pelo vetor do arquivo), desenhada fora da tela com o VTK do Python do
# sistema (python3-vtk9). Sem tela gráfica, rode sob o xvfb-run.
#   ferramentas/imagem-campos.py campos.vti figura.png
import os
import sys

from vtkmodules.vtkFiltersCore import vtkGlyph3D
from vtkmodules.vtkFiltersSources import vtkArrowSource
from vtkmodules.vtkImagingCore import vtkExtractVOI
from vtkmodules.vtkIOImage import vtkPNGWriter
from vtkmodules.vtkIOXML import vtkXMLImageDataReader
from vtkmodules.vtkRenderingAnnotation import vtkAxesActor, vtkScalarBarActor
from vtkmodules.vtkRenderingCore import (vtkActor, vtkColorTransferFunction, vtkDataSetMapper, vtkPolyDataMapper,
                                         vtkRenderer, vtkRenderWindow, vtkTextActor, vtkWindowToImageFilter)
import vtkmodules.vtkRenderingFreeType  # noqa: F401 (os textos)
import vtkmodules.vtkRenderingOpenGL2  # noqa: F401 (a janela)

entrada, saida = sys.argv[1], sys.argv[2]
leitor = vtkXMLImageDataReader()
leitor.SetFileName(entrada)
leitor.Update()
grade = leitor.GetOutput()
pontos = grade.GetPointData()
temperatura = pontos.GetScalars()
deslocamento = pontos.GetVectors()
tmin, tmax = temperatura.GetRange()
nx, ny, _ = grade.GetDimensions()
x0, x1, y0, y1, _, _ = grade.GetBounds()

# Cool to Warm, o mapa de cores padrão do ParaView.
cores = vtkColorTransferFunction()
cores.SetColorSpaceToDiverging()
cores.AddRGBPoint(tmin, 0.231373, 0.298039, 0.752941)
cores.AddRGBPoint(tmax, 0.705882, 0.0156863, 0.14902)

superficie = vtkDataSetMapper()
superficie.SetInputConnection(leitor.GetOutputPort())
superficie.SetLookupTable(cores)
superficie.SetScalarModeToUsePointFieldData()
superficie.SelectColorArray(temperatura.GetName())
superficie.SetScalarRange(tmin, tmax)
placa = vtkActor()
placa.SetMapper(superficie)

# Setas num nó a cada 4 em cada direção, com o comprimento proporcional ao
# deslocamento: a maior com 1/12 da largura da placa.
amostra = vtkExtractVOI()
amostra.SetInputConnection(leitor.GetOutputPort())
amostra.SetVOI(2, nx - 3, 2, ny - 3, 0, 0)  # sem a borda, onde o deslocamento é zero
amostra.SetSampleRate(4, 4, 1)
maior = deslocamento.GetMaxNorm()
seta = vtkArrowSource()
setas = vtkGlyph3D()
setas.SetInputConnection(amostra.GetOutputPort())
setas.SetSourceConnection(seta.GetOutputPort())
setas.SetVectorModeToUseVector()
setas.SetScaleModeToScaleByVector()
setas.SetScaleFactor((x1 - x0) / 12.0 / maior if maior > 0 else 1.0)
setas.OrientOn()
malha_setas = vtkPolyDataMapper()
malha_setas.SetInputConnection(setas.GetOutputPort())
malha_setas.ScalarVisibilityOff()
atores_setas = vtkActor()
atores_setas.SetMapper(malha_setas)
atores_setas.GetProperty().SetColor(1.0, 1.0, 1.0)

# A fonte embutida do VTK do Debian desenha '[' como '(': a DejaVu, se houver.
DEJAVU = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"


def fonte(texto, tamanho):
    texto.SetFontSize(tamanho)
    texto.SetColor(1.0, 1.0, 1.0)
    texto.ItalicOff()
    texto.ShadowOff()
    texto.BoldOff()
    if os.path.exists(DEJAVU):
        texto.SetFontFamilyAsString("File")
        texto.SetFontFile(DEJAVU)


barra = vtkScalarBarActor()
barra.SetLookupTable(cores)
barra.SetTitle(temperatura.GetName())
barra.SetNumberOfLabels(5)
barra.UnconstrainedFontSizeOn()
barra.SetLabelFormat("%-#6.2g")
barra.SetPosition(0.84, 0.15)
barra.SetWidth(0.08)
barra.SetHeight(0.7)
fonte(barra.GetTitleTextProperty(), 16)
fonte(barra.GetLabelTextProperty(), 14)

legenda = vtkTextActor()
legenda.SetInput("campos.vti: %s (cores) e %s (setas, Glyph)" % (temperatura.GetName(), deslocamento.GetName()))
fonte(legenda.GetTextProperty(), 16)
legenda.SetPosition(12, 12)

cena = vtkRenderer()
cena.SetBackground(0.32, 0.34, 0.43)  # o fundo azul-acinzentado do ParaView
for ator in (placa, atores_setas):
    cena.AddActor(ator)
cena.AddViewProp(barra)
cena.AddViewProp(legenda)
cena.SetViewport(0.0, 0.0, 1.0, 1.0)
camera = cena.GetActiveCamera()
camera.ParallelProjectionOn()
camera.SetFocalPoint((x0 + x1) / 2 + 0.08 * (x1 - x0), (y0 + y1) / 2, 0.0)
camera.SetPosition((x0 + x1) / 2 + 0.08 * (x1 - x0), (y0 + y1) / 2, 10.0)
camera.SetViewUp(0.0, 1.0, 0.0)
camera.SetParallelScale(0.6 * max(y1 - y0, (x1 - x0) * 0.75))

# Os eixos do canto, como os do ParaView.
eixos = vtkAxesActor()
eixos.SetShaftTypeToCylinder()
eixos.SetTotalLength(1.0, 1.0, 1.0)
eixos.GetZAxisCaptionActor2D().SetVisibility(False)
canto = vtkRenderer()
canto.SetViewport(0.0, 0.06, 0.16, 0.26)
canto.SetBackground(0.32, 0.34, 0.43)
canto.SetLayer(1)
canto.InteractiveOff()
canto.AddActor(eixos)
canto.GetActiveCamera().SetPosition(0.0, 0.0, 10.0)
canto.GetActiveCamera().SetFocalPoint(0.0, 0.0, 0.0)
canto.ResetCamera()
canto.SetPreserveColorBuffer(True)

janela = vtkRenderWindow()
janela.SetOffScreenRendering(1)
janela.SetNumberOfLayers(2)
janela.AddRenderer(cena)
janela.AddRenderer(canto)
janela.SetSize(900, 700)
janela.SetMultiSamples(8)
janela.Render()

foto = vtkWindowToImageFilter()
foto.SetInput(janela)
foto.Update()
gravador = vtkPNGWriter()
gravador.SetFileName(saida)
gravador.SetInputConnection(foto.GetOutputPort())
gravador.Write()
